# SPDX-License-Identifier: GPL-3.0-or-later
# The Windows program folder: velbor.exe and velbor_admin.exe with the DLLs
# they load (Qt, its plugins, SQLite, libpq, the mingw runtime), the empty
# archive and the guide, all in one folder. The build folder's bin is made
# such a folder too, so programs and tests run there under Wine as built.
# `cmake --install` lays out a clean staging folder (never the build folder,
# which holds test data) that the installer and the portable zip are made
# from (scripts/build-windows.sh).

set(VELBOR_WIN_QT "" CACHE PATH "Qt for mingw")
set(VELBOR_WIN_DEPS "" CACHE PATH "sqlite3.dll and libpq.dll for mingw")
set(bin ${CMAKE_RUNTIME_OUTPUT_DIRECTORY})

set(velbor_win_qt_dlls Qt6Core Qt6Gui Qt6Widgets Qt6Sql Qt6PrintSupport)
set(velbor_win_dlls)
foreach(dll ${velbor_win_qt_dlls})
  list(APPEND velbor_win_dlls ${VELBOR_WIN_QT}/bin/${dll}.dll)
endforeach()
list(APPEND velbor_win_dlls ${VELBOR_WIN_DEPS}/bin/sqlite3.dll ${VELBOR_WIN_DEPS}/bin/libpq.dll)
# The C++ runtime of the posix-threads compiler, found beside it.
foreach(dll libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll} OUTPUT_VARIABLE found
                  OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT IS_ABSOLUTE "${found}")
    foreach(folder /usr/lib/gcc/x86_64-w64-mingw32/12-posix /usr/x86_64-w64-mingw32/lib)
      if(EXISTS ${folder}/${dll})
        set(found ${folder}/${dll})
      endif()
    endforeach()
  endif()
  if(NOT EXISTS "${found}")
    message(FATAL_ERROR "${dll} not found: is mingw-w64 (posix threads) installed?")
  endif()
  list(APPEND velbor_win_dlls ${found})
endforeach()
foreach(dll ${velbor_win_dlls})
  if(NOT EXISTS ${dll})
    message(FATAL_ERROR "${dll} is missing: VELBOR_WIN_QT and VELBOR_WIN_DEPS name the Qt for mingw and its libraries")
  endif()
endforeach()
# Plugins, by the folder Qt looks for them in beside the program.
set(velbor_win_plugins platforms/qwindows.dll platforms/qoffscreen.dll sqldrivers/qsqlite.dll
    styles/qwindowsvistastyle.dll imageformats/qjpeg.dll imageformats/qgif.dll imageformats/qico.dll)

set(velbor_win_copies)
foreach(dll ${velbor_win_dlls})
  get_filename_component(name ${dll} NAME)
  list(APPEND velbor_win_copies ${bin}/${name})
  add_custom_command(OUTPUT ${bin}/${name} COMMAND ${CMAKE_COMMAND} -E copy_if_different ${dll} ${bin}/${name}
                     DEPENDS ${dll})
endforeach()
foreach(plugin ${velbor_win_plugins})
  list(APPEND velbor_win_copies ${bin}/${plugin})
  add_custom_command(OUTPUT ${bin}/${plugin}
                     COMMAND ${CMAKE_COMMAND} -E copy_if_different ${VELBOR_WIN_QT}/plugins/${plugin} ${bin}/${plugin}
                     DEPENDS ${VELBOR_WIN_QT}/plugins/${plugin})
endforeach()
# Qt's own texts in Italian ("Sì", "Annulla"), from Debian's Qt of the same
# version (qt6-translations-l10n).
set(velbor_win_qm /usr/share/qt6/translations/qtbase_it.qm)
if(NOT EXISTS ${velbor_win_qm})
  message(FATAL_ERROR "${velbor_win_qm} is missing: run scripts/deps.sh")
endif()
list(APPEND velbor_win_copies ${bin}/translations/qtbase_it.qm)
add_custom_command(OUTPUT ${bin}/translations/qtbase_it.qm
                   COMMAND ${CMAKE_COMMAND} -E copy_if_different ${velbor_win_qm} ${bin}/translations/qtbase_it.qm
                   DEPENDS ${velbor_win_qm})
# Qt6Test for the test programs only: never shipped.
list(APPEND velbor_win_copies ${bin}/Qt6Test.dll)
add_custom_command(OUTPUT ${bin}/Qt6Test.dll
                   COMMAND ${CMAKE_COMMAND} -E copy_if_different ${VELBOR_WIN_QT}/bin/Qt6Test.dll ${bin}/Qt6Test.dll
                   DEPENDS ${VELBOR_WIN_QT}/bin/Qt6Test.dll)
add_custom_target(windows_runtime ALL DEPENDS ${velbor_win_copies})
# The empty archive is made by a program run under Wine: it needs the DLLs.
add_dependencies(empty_archive windows_runtime)

set(VELBOR_SHIPPED_ARCHIVE ${CMAKE_BINARY_DIR}/shipped/Velbor.mdb)
add_custom_command(OUTPUT ${VELBOR_SHIPPED_ARCHIVE}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/shipped
  COMMAND ${CMAKE_COMMAND} -E rm -f ${VELBOR_SHIPPED_ARCHIVE}
  COMMAND velbor_mkarchive ${VELBOR_SHIPPED_ARCHIVE}
  DEPENDS velbor_mkarchive windows_runtime ${CMAKE_SOURCE_DIR}/data/engines/schema.sql)
add_custom_target(shipped_archive ALL DEPENDS ${VELBOR_SHIPPED_ARCHIVE})

# The program's icon in the executable (Start menu, Explorer, task bar).
set(velbor_win_icon ${CMAKE_BINARY_DIR}/windows/velbor.ico)
find_program(VELBOR_RSVG rsvg-convert)
find_program(VELBOR_ICOTOOL icotool)
if(VELBOR_RSVG AND VELBOR_ICOTOOL)
  set(velbor_win_pngs)
  foreach(size 16 32 48 256)
    list(APPEND velbor_win_pngs ${CMAKE_BINARY_DIR}/windows/velbor-${size}.png)
    add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/windows/velbor-${size}.png
      COMMAND ${VELBOR_RSVG} -w ${size} -h ${size} -o ${CMAKE_BINARY_DIR}/windows/velbor-${size}.png
              ${CMAKE_SOURCE_DIR}/packaging/velbor.svg
      DEPENDS ${CMAKE_SOURCE_DIR}/packaging/velbor.svg)
  endforeach()
  add_custom_command(OUTPUT ${velbor_win_icon}
    COMMAND ${VELBOR_ICOTOOL} -c -o ${velbor_win_icon} ${velbor_win_pngs}
    DEPENDS ${velbor_win_pngs})
  configure_file(${CMAKE_CURRENT_LIST_DIR}/velbor.rc.in ${CMAKE_BINARY_DIR}/windows/velbor.rc @ONLY)
  set_source_files_properties(${CMAKE_BINARY_DIR}/windows/velbor.rc PROPERTIES OBJECT_DEPENDS ${velbor_win_icon})
  target_sources(velbor PRIVATE ${CMAKE_BINARY_DIR}/windows/velbor.rc)
else()
  message(FATAL_ERROR "rsvg-convert (librsvg2-bin) and icotool (icoutils) draw the program's icon: run scripts/deps.sh")
endif()
# A window program, not a console one.
set_target_properties(velbor PROPERTIES WIN32_EXECUTABLE ON)

install(TARGETS velbor velbor_admin RUNTIME DESTINATION .)
install(FILES ${velbor_win_dlls} ${VELBOR_SHIPPED_ARCHIVE} ${velbor_win_icon} DESTINATION .)
foreach(plugin ${velbor_win_plugins})
  get_filename_component(folder ${plugin} DIRECTORY)
  install(FILES ${VELBOR_WIN_QT}/plugins/${plugin} DESTINATION ${folder})
endforeach()
install(FILES ${velbor_win_qm} DESTINATION translations)
install(FILES ${CMAKE_SOURCE_DIR}/LICENSE DESTINATION . RENAME LICENSE.txt)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/LICENZE.txt DESTINATION .)
