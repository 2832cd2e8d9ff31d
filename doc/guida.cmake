# SPDX-License-Identifier: GPL-3.0-or-later
# The user guide (doc/guida): HTML pages, their style sheet and pictures,
# shown by the program's help window (F1).
#
# Beside the built program it lies in bin/guida; installed, in
# share/velbor/guida, where an installed copy looks for it (platform/Paths.h).

set(VELBOR_GUIDE_SOURCE ${CMAKE_CURRENT_LIST_DIR}/guida)
set(VELBOR_GUIDE_BUILT ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/guida)
file(GLOB_RECURSE VELBOR_GUIDE_FILES CONFIGURE_DEPENDS ${VELBOR_GUIDE_SOURCE}/*)

# Copied afresh whenever a page changes, so that no page removed from the
# guide stays behind in the build.
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/guida.stamp
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${VELBOR_GUIDE_BUILT}
  COMMAND ${CMAKE_COMMAND} -E copy_directory ${VELBOR_GUIDE_SOURCE} ${VELBOR_GUIDE_BUILT}
  COMMAND ${CMAKE_COMMAND} -E touch ${CMAKE_BINARY_DIR}/guida.stamp
  DEPENDS ${VELBOR_GUIDE_FILES}
  COMMENT "Copying the user guide beside the program")
add_custom_target(guida ALL DEPENDS ${CMAKE_BINARY_DIR}/guida.stamp)
# F1 needs the guide beside the program, however the program is built.
if(TARGET velbor)
  add_dependencies(velbor guida)
endif()

if(WIN32)
  # Beside the program, as the Windows program folder holds everything.
  install(DIRECTORY ${VELBOR_GUIDE_SOURCE}/ DESTINATION guida)
else()
  install(DIRECTORY ${VELBOR_GUIDE_SOURCE}/ DESTINATION share/velbor/guida)
endif()

# The guide's pictures of the real windows, taken offscreen on a sample
# archive: scripts/screenshots.sh builds and runs it. Never installed.
if(TARGET velbor_gui AND NOT WIN32)
  add_executable(velbor_screenshots ${CMAKE_CURRENT_LIST_DIR}/screenshots.cpp)
  target_link_libraries(velbor_screenshots PRIVATE velbor_gui)
  # A few seconds: every window of the guide opens on the sample office and
  # draws something, with no message shown. The pictures go to the build.
  add_test(NAME screenshots COMMAND velbor_screenshots ${CMAKE_BINARY_DIR}/screenshots/img
                                    ${CMAKE_BINARY_DIR}/screenshots/ufficio)
  set_tests_properties(screenshots PROPERTIES
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;LANG=C.UTF-8;ASAN_OPTIONS=detect_leaks=0" TIMEOUT 300)
endif()
