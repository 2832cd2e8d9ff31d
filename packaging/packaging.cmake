# SPDX-License-Identifier: GPL-3.0-or-later
# Install rules and the Debian package (cpack in the build folder).
#
# Installed layout: the programs in bin, the empty archive in share/velbor.
# An installed copy recognises itself by that archive in ../share/velbor and
# keeps its own files in the user's folders (platform/Paths.h), so these two
# destinations are fixed.

# The archive shipped in the package is made afresh from the schema, apart from
# the one beside the built program, which may hold what a developer typed.
set(VELBOR_SHIPPED_ARCHIVE ${CMAKE_BINARY_DIR}/shipped/Velbor.mdb)
add_custom_command(OUTPUT ${VELBOR_SHIPPED_ARCHIVE}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/shipped
  COMMAND ${CMAKE_COMMAND} -E rm -f ${VELBOR_SHIPPED_ARCHIVE}
  COMMAND velbor_mkarchive ${VELBOR_SHIPPED_ARCHIVE}
  DEPENDS velbor_mkarchive ${CMAKE_SOURCE_DIR}/data/engines/schema.sql)
add_custom_target(shipped_archive ALL DEPENDS ${VELBOR_SHIPPED_ARCHIVE})

# The desktop file and the AppStream metadata are named by the program's
# id (app/Startup.cpp gives it to Qt too): the reverse of the project's mail
# domain, as software centres want it.
set(VELBOR_APP_ID invalid.velbor.velbor)
# The Debian revision of the package, as packaging/changelog's first entry has it.
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)

# The version stands in project() alone; the changelog and the AppStream
# release name it too, and must say the same.
file(STRINGS ${CMAKE_CURRENT_LIST_DIR}/changelog velbor_changelog_top LIMIT_COUNT 1)
if(NOT velbor_changelog_top MATCHES "^velbor \\(${PROJECT_VERSION}-${CPACK_DEBIAN_PACKAGE_RELEASE}\\) ")
  message(FATAL_ERROR "packaging/changelog begins \"${velbor_changelog_top}\": its first entry must be "
                      "version ${PROJECT_VERSION}-${CPACK_DEBIAN_PACKAGE_RELEASE}")
endif()
file(READ ${CMAKE_CURRENT_LIST_DIR}/velbor.metainfo.xml velbor_metainfo)
string(REGEX MATCH "<release version=\"[^\"]*\"" velbor_release "${velbor_metainfo}")
if(NOT velbor_release STREQUAL "<release version=\"${PROJECT_VERSION}\"")
  message(FATAL_ERROR "packaging/velbor.metainfo.xml: the first release must be version ${PROJECT_VERSION}")
endif()
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
             ${CMAKE_CURRENT_LIST_DIR}/changelog ${CMAKE_CURRENT_LIST_DIR}/velbor.metainfo.xml)

# The Debian changelog and the manual pages, compressed as Debian wants them:
# gzip -9, without the file's name and time, so two builds give the same bytes.
find_program(VELBOR_GZIP gzip REQUIRED)
set(velbor_gzipped)
function(velbor_gzip source name)
  set(plain ${CMAKE_BINARY_DIR}/packaging/${name})
  add_custom_command(OUTPUT ${plain}.gz
    COMMAND ${CMAKE_COMMAND} -E copy ${source} ${plain}
    COMMAND ${VELBOR_GZIP} -n -9 -f ${plain}
    DEPENDS ${source} VERBATIM)
  set(velbor_gzipped ${velbor_gzipped} ${plain}.gz PARENT_SCOPE)
endfunction()
velbor_gzip(${CMAKE_CURRENT_LIST_DIR}/changelog changelog.Debian)
velbor_gzip(${CMAKE_CURRENT_LIST_DIR}/velbor.1 velbor.1)
velbor_gzip(${CMAKE_CURRENT_LIST_DIR}/velbor_admin.1 velbor_admin.1)

# The icon at the sizes desktops look for, drawn from the SVG.
find_program(VELBOR_RSVG_CONVERT rsvg-convert)
if(NOT VELBOR_RSVG_CONVERT)
  message(FATAL_ERROR "rsvg-convert (package librsvg2-bin) draws the icons: run scripts/deps.sh")
endif()
set(velbor_icons)
foreach(size 16 22 24 32 48 64 128 256)
  set(png ${CMAKE_BINARY_DIR}/packaging/icons/${size}x${size}/velbor.png)
  add_custom_command(OUTPUT ${png}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/packaging/icons/${size}x${size}
    COMMAND ${VELBOR_RSVG_CONVERT} --width ${size} --height ${size} --output ${png} ${CMAKE_CURRENT_LIST_DIR}/velbor.svg
    DEPENDS ${CMAKE_CURRENT_LIST_DIR}/velbor.svg VERBATIM)
  list(APPEND velbor_icons ${png})
  if(TARGET velbor)
    install(FILES ${png} DESTINATION share/icons/hicolor/${size}x${size}/apps)
  endif()
endforeach()
add_custom_target(package_files ALL DEPENDS ${velbor_gzipped} ${velbor_icons})

if(TARGET velbor)
  install(TARGETS velbor RUNTIME DESTINATION bin)
  install(FILES ${CMAKE_CURRENT_LIST_DIR}/${VELBOR_APP_ID}.desktop DESTINATION share/applications)
  install(FILES ${CMAKE_CURRENT_LIST_DIR}/velbor.svg DESTINATION share/icons/hicolor/scalable/apps)
  install(FILES ${CMAKE_CURRENT_LIST_DIR}/velbor.metainfo.xml DESTINATION share/metainfo
          RENAME ${VELBOR_APP_ID}.metainfo.xml)
  install(FILES ${CMAKE_BINARY_DIR}/packaging/velbor.1.gz DESTINATION share/man/man1)
endif()
install(TARGETS velbor_admin RUNTIME DESTINATION bin)
# A packaged build is stripped (CPACK_STRIP_FILES); as Debian's own tools do,
# the compiler's notes in .comment go too.
install(CODE "
  if(CMAKE_INSTALL_DO_STRIP)
    foreach(program velbor velbor_admin)
      set(file \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/bin/\${program}\")
      if(EXISTS \"\${file}\")
        execute_process(COMMAND \"${CMAKE_OBJCOPY}\" --remove-section=.comment \"\${file}\" RESULT_VARIABLE failed)
        if(failed)
          message(FATAL_ERROR \"objcopy --remove-section=.comment \${file} failed\")
        endif()
      endif()
    endforeach()
  endif()")
install(FILES ${CMAKE_BINARY_DIR}/packaging/velbor_admin.1.gz DESTINATION share/man/man1)
install(FILES ${VELBOR_SHIPPED_ARCHIVE} DESTINATION share/velbor)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/copyright ${CMAKE_BINARY_DIR}/packaging/changelog.Debian.gz
        DESTINATION share/doc/velbor)
# What lintian is told to accept, each with its reason.
install(FILES ${CMAKE_CURRENT_LIST_DIR}/lintian-overrides DESTINATION share/lintian/overrides RENAME velbor)
# The administrator's data folder for every user who has none yet: a
# configuration file that upgrades keep (conffiles). As shipped it holds
# comments alone, which name no folder.
install(FILES ${CMAKE_CURRENT_LIST_DIR}/SERVER.DAT DESTINATION /etc/velbor)

set(VELBOR_MAINTAINER "The Velbor developers <sviluppo@velbor.invalid>" CACHE STRING
    "Maintainer named in the Debian package")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME velbor)
set(CPACK_PACKAGE_VENDOR "The Velbor developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "registro dei clienti e dei progetti per studi tecnici")
set(CPACK_PACKAGE_DESCRIPTION
    "Velbor registra clienti e progetti, con le voci di primo e secondo livello,
le loro cartelle, i disegni allegati e le pagine di note. Più postazioni
lavorano insieme su una cartella dati condivisa.

Il pacchetto contiene anche velbor_admin, lo strumento di amministrazione
dell'archivio.")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${VELBOR_MAINTAINER}")
# One of Debian's sections ("office" is none).
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CMAKE_CURRENT_LIST_DIR}/conffiles)
# The libraries the programs link come from dpkg-shlibdeps; what Qt loads at
# run time is named here: the SQLite driver and Qt's Italian translation
# (buttons reading "Sì" and "No"). The X11 platform plugin comes with
# libqt6gui6, which shlibdeps already names.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6sql6-sqlite, qt6-translations-l10n")
# pg_dump and pg_restore, for the administration tool's backups of an archive
# on a server; the image plugins that show TIFF and WebP components in the
# preview (Poppler, for PDFs, comes through shlibdeps).
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "postgresql-client, qt6-image-formats-plugins")
include(CPack)
