# SPDX-License-Identifier: GPL-3.0-or-later
# Cross-building for 64-bit Windows with Debian's mingw-w64 (posix threads:
# Qt needs std::thread). VELBOR_WIN_QT and VELBOR_WIN_DEPS name the Qt for
# mingw and the folder of sqlite3.dll and libpq.dll (scripts/build-windows.sh
# passes them). Build-time helpers (the empty archive's maker) run under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh)
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES VELBOR_WIN_QT VELBOR_WIN_DEPS)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32 ${VELBOR_WIN_QT} ${VELBOR_WIN_DEPS})
set(CMAKE_PREFIX_PATH ${VELBOR_WIN_QT} ${VELBOR_WIN_DEPS})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)
# Qt's build tools (moc, uic, rcc) are the host's: Debian's Qt of the same version.
set(QT_HOST_PATH /usr)
set(QT_HOST_PATH_CMAKE_DIR /usr/lib/x86_64-linux-gnu/cmake)
