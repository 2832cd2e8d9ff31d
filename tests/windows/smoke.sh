#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The Windows installer as an office uses it, under Wine and Xvfb:
#  1. installs silently into C:\Programmi\Velbor in a Wine prefix of its own;
#  2. starts the installed velbor.exe on a data folder that a Linux
#     workstation shares, opens the project window with F3, types a project
#     and saves it with Alt+S, closes the window and the program;
#  3. while the Windows program has the folder open, a Linux workstation and
#     a Windows one (velbor_driver and velbor_driver.exe, when built) write
#     to the same archive: every write either accepted stays;
#  4. checks the archive, then uninstalls silently: the program's files go,
#     the user's settings and the data folder stay.
#
#   bash tests/windows/smoke.sh SETUP.EXE WORK [LINUX_DRIVER]
set -euo pipefail
setup=$1
out=$2
linux_driver=${3:-}
here=$(cd "$(dirname "$0")" && pwd)
work=$out/smoke
rm -rf "$work"
mkdir -p "$work/dati"

fail() { echo "SMOKE FAILED: $*" >&2; [ -f "$work/velbor.log" ] && tail -20 "$work/velbor.log" >&2; exit 1; }

export WINEPREFIX=$work/wine WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export LANG=it_IT.UTF-8
unset QT_QPA_PLATFORM
display=:$((90 + RANDOM % 500))
Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
cleanup() { wineserver -k 2>/dev/null || true; kill "$xvfb" 2>/dev/null || true; }
trap cleanup EXIT
export DISPLAY=$display
wine wineboot --init >/dev/null 2>&1 || true
wineserver -w

echo "-- installing silently"
wine "$setup" /S '/D=C:\Programmi\Velbor' >/dev/null 2>&1 || fail "the installer ended with an error"
wineserver -w
program=$WINEPREFIX/drive_c/Programmi/Velbor
for f in velbor.exe velbor_admin.exe Disinstalla.exe Velbor.mdb Qt6Core.dll sqlite3.dll platforms/qwindows.dll \
         sqldrivers/qsqlite.dll guida/index.html; do
  [ -f "$program/$f" ] || fail "$f is not installed"
done
menu=$(find "$WINEPREFIX/drive_c" -path '*Start Menu/Programs/Velbor/Velbor.lnk' | head -1)
[ -n "$menu" ] || fail "no Start menu entry"
[ "$(wine "C:\\Programmi\\Velbor\\velbor_admin.exe" --version 2>/dev/null | tr -d '\r')" = "velbor_admin $(sed -n 's/^project(Velbor VERSION \([0-9.]*\).*/\1/p' "$here/../../CMakeLists.txt")" ] \
  || fail "velbor_admin --version"

# The office's data folder, named for this user as an installed copy reads it.
cp "$program/Velbor.mdb" "$work/dati/Velbor.mdb"
appdata=$(find "$WINEPREFIX/drive_c/users" -maxdepth 3 -type d -name Roaming | head -1)
mkdir -p "$appdata/Velbor"
printf 'Z:%s\r\n' "$(echo "$work/dati" | tr / '\\')" > "$appdata/Velbor/SERVER.DAT"

echo "-- starting the installed program"
wine "C:\\Programmi\\Velbor\\velbor.exe" > "$work/velbor.log" 2>&1 &
velbor=$!
find_window() {  # name, seconds
  local end=$((SECONDS + $2)) w
  while [ $SECONDS -lt $end ]; do
    w=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | tail -1 || true)
    [ -n "$w" ] && { echo "$w"; return 0; }
    sleep 0.5
  done
  return 1
}
main=$(find_window '^Velbor$' 60) || fail "the main window did not appear"
sleep 2
xdotool windowactivate --sync "$main" 2>/dev/null || xdotool windowfocus --sync "$main"
xdotool key --clearmodifiers F3
projects=$(find_window '^Velbor Manager$' 30) || fail "F3 did not open the project window"
sleep 2
xdotool windowactivate --sync "$projects" 2>/dev/null || xdotool windowfocus --sync "$projects"
# The code box, then Tab to the description, as a person types them.
eval "$(xdotool getwindowgeometry --shell "$projects")"
xdotool mousemove --sync $((X + 60)) $((Y + 252)) click 1
sleep 0.5
xdotool type --delay 60 "W1"
xdotool key --clearmodifiers Tab
sleep 0.3
xdotool type --delay 60 "Scuola di Pavia"
xdotool key --clearmodifiers alt+s
sleep 3
import -window root "$work/progetti.png" 2>/dev/null || true
# "&Chiudi" with the mouse: Alt+C is "&Componenti"'s too.
eval "$(xdotool getwindowgeometry --shell "$projects")"
xdotool mousemove --sync $((X + 606)) $((Y + 483)) click 1
for _ in $(seq 1 20); do
  xdotool search --onlyvisible --name '^Velbor Manager$' >/dev/null 2>&1 || break
  sleep 0.5
done
if xdotool search --onlyvisible --name '^Velbor Manager$' >/dev/null 2>&1; then
  import -window root "$work/chiudi.png" 2>/dev/null || true
  fail "Chiudi did not close the project window"
fi

echo "-- a Linux and a Windows workstation write to the same archive meanwhile"
if [ -n "$linux_driver" ] && [ -x "$linux_driver" ] && [ -f "$out/build/bin/velbor_driver.exe" ]; then
  "$linux_driver" work "$work/dati/Velbor.mdb" 1 15 > "$work/linux.out" 2>&1 &
  lin=$!
  wine "$(echo "$out/build/bin/velbor_driver.exe" | sed 's|^|Z:|; s|/|\\|g')" work "Z:$(echo "$work/dati/Velbor.mdb" | tr / '\\')" 2 15 \
    > "$work/windows.out" 2>&1 || true
  wait $lin || true
  # Every client a workstation was told it added (A) and did not delete
  # (D) afterwards is in the archive; edits (E) of those stay too.
  for who in linux windows; do
    tr -d '\r' < "$work/$who.out" > "$work/$who.txt"
    grep -q '^A ' "$work/$who.txt" || fail "the $who workstation wrote nothing: $(head -3 "$work/$who.txt")"
  done
  expected=$(cat "$work/linux.txt" "$work/windows.txt" | awk '$1=="A"{s[$2]=1} $1=="D"{delete s[$2]} END{for(k in s) print k}' | sort -n)
  stored=$(sqlite3 "$work/dati/Velbor.mdb" "SELECT codice FROM Clienti WHERE codice >= 1000000 ORDER BY codice")
  [ "$expected" = "$stored" ] || fail "clients written meanwhile: expected $(echo $expected | wc -w), stored $(echo $stored | wc -w)"
  echo "   $(grep -c '' "$work/linux.txt") writes from Linux, $(grep -c '' "$work/windows.txt") from Windows, all there"
else
  echo "   skipped: the Linux build's velbor_driver was not given"
fi

echo "-- closing the program"
# No window manager: a click in the main window gives it the keyboard.
eval "$(xdotool getwindowgeometry --shell "$main")"
xdotool mousemove --sync $((X + 300)) $((Y + 300)) click 1
xdotool windowfocus --sync "$main" 2>/dev/null || true
# File > Uscita (F12), then Yes to "Vuoi uscire dal programma ?".
xdotool key --clearmodifiers F12
sleep 2
import -window root "$work/uscita.png" 2>/dev/null || true
xdotool key --clearmodifiers Return
for _ in $(seq 1 30); do kill -0 $velbor 2>/dev/null || break; sleep 1; done
kill -0 $velbor 2>/dev/null && { import -window root "$work/exit.png" 2>/dev/null || true; fail "the program did not end"; }

got=$(sqlite3 "$work/dati/Velbor.mdb" "SELECT codice || '|' || descr FROM Progetti WHERE codice = 'W1'")
[ "$got" = "W1|Scuola di Pavia" ] || fail "the project saved under Wine is not in the archive (found: '$got')"
[ -d "$work/dati/W1" ] || fail "the project's folder was not made"
[ -f "$appdata/Velbor/MAXPRJ.DAT" ] || fail "the exit wrote no MAXPRJ.DAT in %APPDATA%\\Velbor"
[ ! -f "$program/SERVER.DAT" ] || fail "the installed program wrote into its own folder"

echo "-- uninstalling silently"
wine "C:\\Programmi\\Velbor\\Disinstalla.exe" /S >/dev/null 2>&1 || true
wineserver -w
for _ in $(seq 1 20); do [ -f "$program/velbor.exe" ] || break; sleep 1; done
[ ! -e "$program/velbor.exe" ] || fail "the uninstaller left velbor.exe"
[ ! -e "$menu" ] || fail "the uninstaller left the Start menu entry"
[ -f "$appdata/Velbor/SERVER.DAT" ] || fail "the uninstaller removed the user's settings"
[ -f "$work/dati/Velbor.mdb" ] || fail "the data folder was touched"
echo "Windows smoke test passed"
