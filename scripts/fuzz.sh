#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the libFuzzer targets with clang (ASan + UBSan) and runs each for a
# while on a copy of its saved corpus, printing how many inputs it ran.
# Usage: scripts/fuzz.sh [seconds for fuzz_rtf] [seconds for fuzz_criterion] [seconds for fuzz_jet] [seconds for fuzz_dwg]
# fuzz_jet also starts from the public Jet sample databases when they are present.
set -euo pipefail
cd "$(dirname "$0")/.."
VELBOR_WITH_CLANG=1 bash scripts/deps.sh
rtf_seconds=${1:-60}
criterion_seconds=${2:-$rtf_seconds}
jet_seconds=${3:-$rtf_seconds}
dwg_seconds=${4:-$rtf_seconds}
cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++-14 \
      -DVELBOR_FUZZ=ON -DVELBOR_SANITIZE=ON >/dev/null
cmake --build build-fuzz -j"$(nproc)" --target fuzz_rtf fuzz_criterion fuzz_jet fuzz_dwg
run() {   # target seconds max_len
  local work
  work=$(mktemp -d)
  cp tests/fuzz/corpus_"$1"/* "$work"/
  if [ "$1" = jet ] && [ -d ../shared/jet ]; then cp ../shared/jet/*.mdb ../shared/jet/*.accdb "$work"/ 2>/dev/null || true; fi
  QT_QPA_PLATFORM=offscreen ./build-fuzz/bin/fuzz_"$1" -max_total_time="$2" -max_len="$3" -timeout=10 \
      -print_final_stats=1 "$work"
  echo "fuzz_$1: new inputs kept in $work (copy small, new ones to tests/fuzz/corpus_$1)"
}
run rtf "$rtf_seconds" 65536
run criterion "$criterion_seconds" 4096
# Whole pages of the samples (up to 150 of 4 KB) stay whole under the length cap.
run jet "$jet_seconds" 614400
# The drawings' picture reader: headers and pictures up to a sample's 31 KB BMP.
run dwg "$dwg_seconds" 65536
