#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what is missing, builds everything and runs every test headless:
# once as built for use, then the Debian package installed and started (as
# root), once more built with AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
export QT_QPA_PLATFORM=offscreen
jobs=$(nproc)
# The tests of the archive on a server run against a throwaway PostgreSQL
# cluster that tests/with_server.sh makes for each run (its own folder and
# port, so runs at once on one machine never meet) and removes after it;
# here they must run, never be skipped.
export VELBOR_REQUIRE_SERVER=1
on_server() {
  bash tests/with_server.sh "$@"
}

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$jobs"
on_server ctest --test-dir build --output-on-failure -j2
bash scripts/test-package.sh

# The Windows program, its suites under Wine and its installer, where the Qt
# for mingw cache is at hand (building Qt instead takes fifty minutes).
if [ -n "${VELBOR_WIN_CACHE:-}" ] || [ -f ../shared/qt6-mingw/SHA256SUMS ] || [ -f /work/shared/qt6-mingw/SHA256SUMS ]; then
  bash scripts/build-windows.sh --test
else
  echo "== Windows build skipped: no Qt for mingw in ../shared/qt6-mingw (scripts/build-windows.sh builds it from Debian's sources, about fifty minutes) =="
fi

echo "== The same tests, built with AddressSanitizer and UndefinedBehaviorSanitizer =="
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=Debug -DVELBOR_SANITIZE=ON >/dev/null
cmake --build build-sanitize -j"$jobs"
on_server ctest --test-dir build-sanitize --output-on-failure -j2
