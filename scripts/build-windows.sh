#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds Velbor for 64-bit Windows with Debian's mingw-w64 (posix threads):
# velbor.exe, velbor_admin.exe and the test programs, then the installer
# (Debian's nsis) and a portable zip, all in build-windows/:
#   Velbor-<version>-setup.exe        installs into Program Files
#   Velbor-<version>-portabile.zip    the same program folder, to unpack anywhere
#
#   bash scripts/build-windows.sh           build and package
#   bash scripts/build-windows.sh --test    also run the Windows suites under
#                                           Wine and the installer's smoke test
#
# Qt 6.4.2, SQLite and libpq for mingw come from the cache in
# ../shared/qt6-mingw (VELBOR_WIN_CACHE names another); without it
# scripts/windows-sdk.sh builds them from Debian's source packages (about
# fifty minutes on two cores) into build-windows/sdk, once.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
out=${VELBOR_WIN_OUT:-$root/build-windows}
test=0
[ "${1:-}" = --test ] && test=1
jobs=$(nproc)

bash scripts/deps.sh windows

sdk=$out/sdk
cache=${VELBOR_WIN_CACHE:-}
if [ -z "$cache" ]; then
  for c in "$root/../shared/qt6-mingw" /work/shared/qt6-mingw; do
    if [ -f "$c/SHA256SUMS" ]; then cache=$c; break; fi
  done
fi
# The SDK is unpacked (or built) once; a changed cache is unpacked again.
stamp=$sdk/.made-from
wanted=source
[ -n "$cache" ] && wanted=$(cat "$cache/SHA256SUMS")
if [ ! -f "$stamp" ] || [ "$(cat "$stamp")" != "$wanted" ]; then
  rm -rf "$sdk"
  mkdir -p "$sdk"
  if [ -n "$cache" ]; then
    echo "== Qt, SQLite and libpq for Windows from $cache =="
    (cd "$cache" && sha256sum --quiet -c SHA256SUMS)
    tar -xJf "$cache/qt6-mingw-6.4.2.tar.xz" -C "$sdk"
    tar -xJf "$cache/mingw-deps.tar.xz" -C "$sdk"
  else
    echo "== No Qt for Windows cached: building it from Debian's sources (about 50 minutes) =="
    bash scripts/windows-sdk.sh "$sdk"
  fi
  printf '%s' "$wanted" > "$stamp"
fi

echo "== Building for Windows =="
export VELBOR_WINEPREFIX=$out/wine
cmake -S . -B "$out/build" -DCMAKE_TOOLCHAIN_FILE="$root/packaging/windows/mingw-w64.cmake" \
      -DVELBOR_WIN_QT="$sdk/qt6-mingw" -DVELBOR_WIN_DEPS="$sdk/deps" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$out/build" -j"$jobs"

version=$(sed -n 's/^project(Velbor VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
# A clean staging folder: what is installed, and nothing the tests left.
staging=$out/staging/Velbor
rm -rf "$out/staging"
cmake --install "$out/build" --prefix "$staging" >/dev/null
# Debug symbols and local symbols out of every program and library.
find "$staging" \( -name '*.exe' -o -name '*.dll' \) -exec x86_64-w64-mingw32-strip --strip-unneeded {} +
# The uninstaller deletes these files, then the folders left empty.
files=$out/uninstall-files.nsh
(
  cd "$staging"
  find . -type f | sort | sed 's|^\./||; s|/|\\|g; s|^\(.*\)$|  Delete "$INSTDIR\\\1"|'
  find . -mindepth 1 -type d | sort -r | sed 's|^\./||; s|/|\\|g; s|^\(.*\)$|  RMDir "$INSTDIR\\\1"|'
) > "$files"
setup=$out/Velbor-$version-setup.exe
makensis -V2 -DVERSION="$version" -DSTAGING="$staging" -DFILES="$files" -DOUTFILE="$setup" \
         packaging/windows/velbor.nsi
zip=$out/Velbor-$version-portabile.zip
rm -f "$zip"
(cd "$out/staging" && zip -qr -9 "$zip" Velbor)
echo "Programma per Windows: $(du -sh "$staging" | cut -f1) nella cartella; $setup ($(du -h "$setup" | cut -f1)), $zip"

if [ $test = 1 ]; then
  echo "== The Windows suites under Wine =="
  # One Wine server for the whole run, made ready first, so that no test
  # starts while another's server is coming up or going away.
  packaging/windows/wine-run.sh cmd /c exit >/dev/null 2>&1 || true
  WINEPREFIX=$VELBOR_WINEPREFIX wineserver -w
  WINEPREFIX=$VELBOR_WINEPREFIX wineserver -p
  trap 'WINEPREFIX=$VELBOR_WINEPREFIX wineserver -k 2>/dev/null || true' EXIT
  ctest --test-dir "$out/build" --output-on-failure -j2
  echo "== Installing with the installer, under Wine, and using the program =="
  # A Linux workstation writes to the same archive meanwhile, when the
  # Linux build is there (the test command makes it first).
  bash tests/windows/smoke.sh "$setup" "$out" "${VELBOR_LINUX_DRIVER:-$root/build/bin/velbor_driver}"
fi
