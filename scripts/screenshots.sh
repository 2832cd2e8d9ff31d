#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Takes the pictures of the user guide afresh (doc/guida/img/*.png): builds
# velbor_screenshots and runs it offscreen on a sample office of its own.
# Run it again whenever a window changes; two runs give the same pictures.
#
#   bash scripts/screenshots.sh [build folder]      (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
bash scripts/deps.sh
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j"$(nproc)" --target velbor_screenshots
# The program speaks Italian whatever this computer's language.
QT_QPA_PLATFORM=offscreen LANG=C.UTF-8 "$build/bin/velbor_screenshots" doc/guida/img
