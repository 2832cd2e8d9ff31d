#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the Debian package from the already built build/ folder (BUILD names
# another), checks it with lintian and its AppStream metadata with
# appstreamcli, installs it, runs its command lines and manual pages, starts
# the installed program under Xvfb with a fresh HOME, checks where it keeps its
# files and which SERVER.DAT names its data folder, and removes the package
# again. Installing needs root: as another user the step is skipped.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ "$(id -u)" != 0 ]; then
  echo "== Package test skipped: installing the package needs root =="
  exit 0
fi
echo "== Package: build, check, install, start, exit, remove =="
build=${BUILD:-build}

work=$(mktemp -d /tmp/velbor-package.XXXXXX)
admin_server=/usr/bin/SERVER.DAT
wrote_admin_server=0
# The administrator's SERVER.DAT, a configuration file of the package: as
# shipped, comments alone.
etc_server=/etc/velbor/SERVER.DAT
shipped_etc_server=packaging/SERVER.DAT
wrote_etc_server=0
installed_here=0
cleanup() {
  local rc=$?
  [ "$wrote_admin_server" = 1 ] && rm -f "$admin_server"
  [ "$wrote_etc_server" = 1 ] && cp "$shipped_etc_server" "$etc_server"
  if [ "$installed_here" = 1 ] && dpkg-query -W -f='${Status}' velbor 2>/dev/null | grep -q 'install ok installed'; then
    DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq -o DPkg::Lock::Timeout=300 velbor >/dev/null || true
  fi
  rm -rf "$work"
  [ $rc = 0 ] || echo "Package test FAILED"
  exit $rc
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

# The package, from the build that the tests just used.
rm -rf "$build/package-out"
cpack --config "$build/CPackConfig.cmake" -B "$build/package-out" >"$work/cpack.log" 2>&1 \
  || { cat "$work/cpack.log"; fail "cpack"; }
deb=$(realpath "$build"/package-out/velbor_*.deb)
echo "Built $deb"

# lintian: no error, and no warning that packaging/lintian-overrides does not
# name and justify.
echo "lintian $deb"
lintian --fail-on error,warning --display-level ">=pedantic" "$deb" >"$work/lintian.log" 2>&1 \
  || { cat "$work/lintian.log"; fail "lintian"; }
cat "$work/lintian.log"
depends=$(dpkg-deb -f "$deb" Depends)
for p in libqt6widgets6 libqt6sql6 libsqlite3-0 libpq5 libmdb3 libqt6sql6-sqlite qt6-translations-l10n; do
  grep -q "\b$p\b" <<<"$depends" || fail "Depends lacks $p: $depends"
done
contents=$(dpkg-deb -c "$deb" | awk '{print $6}')
app_id=invalid.velbor.velbor
for f in ./usr/bin/velbor ./usr/bin/velbor_admin ./usr/share/velbor/Velbor.mdb \
         ./usr/share/applications/$app_id.desktop ./usr/share/metainfo/$app_id.metainfo.xml \
         ./usr/share/icons/hicolor/scalable/apps/velbor.svg \
         ./usr/share/man/man1/velbor.1.gz ./usr/share/man/man1/velbor_admin.1.gz \
         ./usr/share/doc/velbor/copyright ./usr/share/doc/velbor/changelog.Debian.gz ./etc/velbor/SERVER.DAT; do
  grep -qx "$f" <<<"$contents" || fail "the package lacks $f"
done
for size in 16 22 24 32 48 64 128 256; do
  grep -qx "./usr/share/icons/hicolor/${size}x${size}/apps/velbor.png" <<<"$contents" \
    || fail "the package lacks the ${size}x${size} icon"
done
dpkg-deb --ctrl-tarfile "$deb" | tar -xOf - ./conffiles | grep -qx "$etc_server" \
  || fail "$etc_server is no conffile"

# What software centres read: the metadata alone, then with the desktop file
# and the icons it names, as installed.
tree=$work/tree
dpkg-deb -x "$deb" "$tree"
appstreamcli validate --no-net "$tree/usr/share/metainfo/$app_id.metainfo.xml" || fail "appstreamcli validate"
appstreamcli validate-tree --no-net "$tree" || fail "appstreamcli validate-tree"
for page in velbor velbor_admin; do
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$tree/usr/share/man/man1/$page.1.gz" 2>&1 >/dev/null)
  [ -z "$warnings" ] || fail "man --warnings $page.1: $warnings"
done

# An administrator's SERVER.DAT already there is not ours to touch; the
# package's own, left by a removal without purge, is.
[ -e "$admin_server" ] && fail "$admin_server exists already: remove it to run this test"
if [ -e "$etc_server" ] && ! cmp -s "$etc_server" "$shipped_etc_server"; then
  fail "$etc_server names a data folder: move it away (or purge velbor) to run this test"
fi
if dpkg-query -W -f='${Status}' velbor 2>/dev/null | grep -q 'install ok installed'; then
  echo "velbor was installed: this build replaces it and is removed at the end."
fi
installed_here=1
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq -o DPkg::Lock::Timeout=300 --reinstall "$deb" >"$work/apt.log" 2>&1 \
  || { cat "$work/apt.log"; fail "apt-get install"; }
[ -x /usr/bin/velbor ] || fail "/usr/bin/velbor not installed"
desktop-file-validate "/usr/share/applications/$app_id.desktop" || fail "desktop-file-validate"
grep -qx 'Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' \
  /usr/share/doc/velbor/copyright || fail "copyright is not machine-readable"
cmp -s "$etc_server" "$shipped_etc_server" || fail "$etc_server is not the one shipped"
dpkg-query -W -f='${Conffiles}\n' velbor | grep -q "^ $etc_server " || fail "dpkg keeps no $etc_server as a conffile"

# The command lines answer without a display, and the manual pages are there.
version=$(dpkg-deb -f "$deb" Version)
no_display() { env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$@"; }
[ "$(no_display velbor --version | head -n 1)" = "velbor ${version%-*}" ] || fail "velbor --version: $(no_display velbor --version 2>&1)"
no_display velbor --help | grep -q '^Uso: velbor ' || fail "velbor --help"
[ "$(no_display velbor_admin --version)" = "velbor_admin ${version%-*}" ] || fail "velbor_admin --version"
no_display velbor_admin --help | grep -q '^Uso: velbor_admin ' || fail "velbor_admin --help"
set +e
no_display velbor --xyz >/dev/null 2>"$work/err"; rc=$?
set -e
[ "$rc" = 2 ] && grep -qx 'Opzione sconosciuta: --xyz' "$work/err" || fail "velbor --xyz: status $rc, $(cat "$work/err")"
for page in velbor velbor_admin; do
  [ "$(man -w "$page")" = "/usr/share/man/man1/$page.1.gz" ] || fail "man -w $page: $(man -w "$page" 2>&1)"
  MANWIDTH=80 man -P cat "$page" 2>/dev/null | grep -q "^NOME" || fail "man $page"
done

# Starts the installed program as a user with home $1, checks it comes up and
# has made its fallback archive, then leaves it with F12 and Yes.
run_installed() {
  local home=$1
  mkdir -p "$home"
  env -u XDG_CONFIG_HOME -u XDG_DATA_HOME -u QT_QPA_PLATFORM -u DISPLAY -u WAYLAND_DISPLAY HOME="$home" \
    timeout 120 xvfb-run -a -s "-screen 0 1280x1024x24" bash -c '
      set -u
      velbor >"$HOME/velbor.log" 2>&1 &
      pid=$!
      win=$(timeout 30 xdotool search --sync --onlyvisible --name "^Velbor$" | head -n 1)
      [ -n "$win" ] || { echo "the main window did not show"; kill $pid; exit 1; }
      [ -f "$HOME/.local/share/Velbor/Velbor.mdb" ] || { echo "no fallback archive in the user folder"; kill $pid; exit 1; }
      [ -e "$HOME/.config/Velbor/SERVER.DAT" ] && { echo "SERVER.DAT written before exit"; kill $pid; exit 1; }
      xdotool windowfocus --sync "$win"
      xdotool key F12
      # The question box is the other window of that title; Return answers
      # its default button, Yes.
      box=
      for i in $(seq 100); do
        box=$(xdotool search --onlyvisible --name "^Velbor$" | grep -vx "$win" | head -n 1)
        [ -n "$box" ] && break
        sleep 0.1
      done
      [ -n "$box" ] || { echo "F12 showed no question"; kill $pid; exit 1; }
      xdotool windowfocus --sync "$box"
      xdotool key Return
      for i in $(seq 100); do
        kill -0 $pid 2>/dev/null || break
        sleep 0.1
      done
      if kill -0 $pid 2>/dev/null; then echo "the program did not end"; kill $pid; exit 1; fi
      wait $pid
    ' || { cat "$home/velbor.log" 2>/dev/null; fail "the installed program (HOME=$home)"; }
}
crlf() { printf '%s\r\n' "$1"; }
no_settings_beside_program() {
  for f in MAXPRJ.DAT velbor.mdb Velbor.mdb; do [ -e "/usr/bin/$f" ] && fail "/usr/bin/$f written"; done
  return 0
}

# First start of a user: the data folder is the fallback archive's, in the
# user's data folder; a confirmed exit writes the settings into the user's
# configuration folder.
echo "First start of a user, no settings yet"
home1=$work/home1
run_installed "$home1"
[ "$(cat "$home1/.config/Velbor/SERVER.DAT")" = "$(crlf "$home1/.local/share/Velbor")" ] \
  || fail "SERVER.DAT in the user's folder: $(cat -A "$home1/.config/Velbor/SERVER.DAT" 2>&1)"
[ "$(cat "$home1/.config/Velbor/MAXPRJ.DAT")" = "$(crlf " 0")" ] || fail "MAXPRJ.DAT in the user's folder"
no_settings_beside_program

# A SERVER.DAT an administrator put beside the program names the data folder
# of a user who has none yet, while /etc/velbor/SERVER.DAT (as shipped) names
# none.
data=$work/dati
mkdir -p "$data"
cp /usr/share/velbor/Velbor.mdb "$data/"
wrote_admin_server=1
crlf "$data" >"$admin_server"
echo "First start of a user, with an administrator's SERVER.DAT beside the program"
home2=$work/home2
run_installed "$home2"
[ "$(cat "$home2/.config/Velbor/SERVER.DAT")" = "$(crlf "$data")" ] \
  || fail "the administrator's data folder was not taken: $(cat -A "$home2/.config/Velbor/SERVER.DAT" 2>&1)"
[ "$(cat "$admin_server")" = "$(crlf "$data")" ] || fail "the administrator's SERVER.DAT was changed"
no_settings_beside_program

# The administrator's /etc/velbor/SERVER.DAT, once it names a folder, comes
# before the one beside the program.
etc_data=$work/dati-etc
mkdir -p "$etc_data"
cp /usr/share/velbor/Velbor.mdb "$etc_data/"
wrote_etc_server=1
{ echo "# la cartella dell'ufficio"; echo; echo "$etc_data"; } >"$etc_server"
echo "First start of a user, with an administrator's /etc/velbor/SERVER.DAT and one beside the program"
home3=$work/home3
run_installed "$home3"
[ "$(cat "$home3/.config/Velbor/SERVER.DAT")" = "$(crlf "$etc_data")" ] \
  || fail "the data folder of /etc/velbor/SERVER.DAT was not taken: $(cat -A "$home3/.config/Velbor/SERVER.DAT" 2>&1)"
no_settings_beside_program
cp "$shipped_etc_server" "$etc_server"
wrote_etc_server=0
rm -f "$admin_server"
wrote_admin_server=0

echo "Removing the package"
DEBIAN_FRONTEND=noninteractive apt-get remove -y -qq -o DPkg::Lock::Timeout=300 velbor >"$work/apt.log" 2>&1 \
  || { cat "$work/apt.log"; fail "apt-get remove"; }
[ -e /usr/bin/velbor ] && fail "/usr/bin/velbor left after removal"
for f in "$home1/.config/Velbor/SERVER.DAT" "$home1/.config/Velbor/MAXPRJ.DAT" "$home1/.local/share/Velbor/Velbor.mdb"; do
  [ -f "$f" ] || fail "$f gone with the package"
done
# A configuration file stays until the package is purged.
[ -f "$etc_server" ] || fail "$etc_server gone with the removal"
DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq -o DPkg::Lock::Timeout=300 velbor >"$work/apt.log" 2>&1 \
  || { cat "$work/apt.log"; fail "apt-get purge"; }
installed_here=0
[ -e "$etc_server" ] && fail "$etc_server left after purge"
echo "Package test passed"
