#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs a Windows program of the cross-build under Wine: quietly, without the
# Mono and Gecko installers, in a Wine prefix of the build's own
# (VELBOR_WINEPREFIX, else one per user) so that no run meets the user's.
export WINEPREFIX="${VELBOR_WINEPREFIX:-${WINEPREFIX:-$HOME/.local/share/velbor/wine}}"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  mkdir -p "$WINEPREFIX"
  wine wineboot --init >/dev/null 2>&1 || true
  wineserver -w 2>/dev/null || true
fi
# Wine hands a Windows program no QT_* variable of the Unix side: the one
# Qt's tests need is put in the prefix's user environment instead.
if [ -n "${QT_QPA_PLATFORM:-}" ]; then
  wine reg add 'HKCU\Environment' /v QT_QPA_PLATFORM /d "$QT_QPA_PLATFORM" /f >/dev/null 2>&1
else
  wine reg delete 'HKCU\Environment' /v QT_QPA_PLATFORM /f >/dev/null 2>&1 || true
fi
exec wine "$@"
