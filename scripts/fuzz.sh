#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (ASan + UBSan) and runs each for a
# while on a copy of its saved corpus. Usage: scripts/fuzz.sh [seconds]
set -euo pipefail
cd "$(dirname "$0")/.."
VELBOR_WITH_CLANG=1 bash scripts/deps.sh
seconds=${1:-60}
cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++-14 \
      -DVELBOR_FUZZ=ON -DVELBOR_SANITIZE=ON >/dev/null
cmake --build build-fuzz -j"$(nproc)" --target fuzz_rtf fuzz_criterion
for target in rtf criterion; do
  work=$(mktemp -d)
  cp tests/fuzz/corpus_${target}/* "$work"/
  QT_QPA_PLATFORM=offscreen ./build-fuzz/bin/fuzz_${target} -max_total_time="$seconds" -max_len=65536 "$work"
  echo "fuzz_${target}: new inputs kept in $work"
done
