# SPDX-License-Identifier: GPL-3.0-or-later
# The hardening every Debian package is built with, as dpkg-buildflags gives it
# with hardening=+all: stack protector, _FORTIFY_SOURCE, format checks, relro
# and bind now, and position-independent executables. The package is made from
# the ordinary build, so that build carries them (tests included). The
# sanitizer and fuzzing builds go without (fortify and the sanitizers get in
# each other's way), and so does a Debug build (fortify needs optimisation).
#
# Only the hardening flags are taken: optimisation, debug information and
# path remapping stay the build type's.

option(VELBOR_HARDENING "Build with the hardening flags of dpkg-buildflags" ON)

include(CheckPIESupported)
check_pie_supported(LANGUAGES CXX)
set(CMAKE_POSITION_INDEPENDENT_CODE ON)

if(VELBOR_HARDENING AND NOT VELBOR_SANITIZE AND NOT VELBOR_FUZZ AND NOT CMAKE_BUILD_TYPE STREQUAL "Debug")
  find_program(VELBOR_DPKG_BUILDFLAGS dpkg-buildflags)
  if(NOT VELBOR_DPKG_BUILDFLAGS)
    message(FATAL_ERROR "dpkg-buildflags (dpkg-dev) is missing: run scripts/deps.sh, or configure with -DVELBOR_HARDENING=OFF")
  endif()
  set(VELBOR_HARDENING_COMPILE)
  set(VELBOR_HARDENING_LINK)
  foreach(kind CPPFLAGS CXXFLAGS LDFLAGS)
    execute_process(
      COMMAND ${CMAKE_COMMAND} -E env DEB_BUILD_MAINT_OPTIONS=hardening=+all ${VELBOR_DPKG_BUILDFLAGS} --get ${kind}
      OUTPUT_VARIABLE flags OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE failed)
    if(failed)
      message(FATAL_ERROR "dpkg-buildflags --get ${kind} failed")
    endif()
    separate_arguments(flags UNIX_COMMAND "${flags}")
    foreach(flag IN LISTS flags)
      if(flag MATCHES "^(-fstack-protector.*|-fstack-clash-protection|-fcf-protection.*|-D_FORTIFY_SOURCE=.*|-Wformat.*|-Werror=format-security)$")
        list(APPEND VELBOR_HARDENING_COMPILE ${flag})
      elseif(flag MATCHES "^-Wl,-z,(relro|now)$")
        list(APPEND VELBOR_HARDENING_LINK ${flag})
      endif()
    endforeach()
  endforeach()
  # Bind now and relro are what the package checks: without them the build
  # would quietly ship an unhardened program.
  foreach(needed "-Wl,-z,relro" "-Wl,-z,now")
    if(NOT needed IN_LIST VELBOR_HARDENING_LINK)
      message(FATAL_ERROR "dpkg-buildflags gave no ${needed}: ${VELBOR_HARDENING_LINK}")
    endif()
  endforeach()
  list(REMOVE_DUPLICATES VELBOR_HARDENING_COMPILE)
  list(REMOVE_DUPLICATES VELBOR_HARDENING_LINK)
  add_compile_options(${VELBOR_HARDENING_COMPILE})
  add_link_options(${VELBOR_HARDENING_LINK})
  message(STATUS "Hardening: ${VELBOR_HARDENING_COMPILE} ${VELBOR_HARDENING_LINK}")
endif()
