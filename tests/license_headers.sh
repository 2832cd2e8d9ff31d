#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Every source file of the project names its license in its first lines.
cd "$(dirname "$0")/.." || exit 1
missing=$(find app admin bench clients components config data doc platform projects tests packaging scripts resources widgets \
  \( -name '*.cpp' -o -name '*.h' -o -name '*.in' -o -name '*.ui' -o -name '*.sql' -o -name '*.sh' \
     -o -name '*.cmake' -o -name 'CMakeLists.txt' -o -name '*.desktop' -o -name '*.svg' -o -name '*.qrc' \) \
  -not -path '*/corpus*' -not -path '*/samples/*' \
  -exec sh -c 'head -3 "$1" | grep -q "SPDX-License-Identifier: GPL-3.0-or-later" || echo "$1"' sh {} \;)
for f in CMakeLists.txt gui.cmake .ci/run; do
  head -3 "$f" | grep -q "SPDX-License-Identifier: GPL-3.0-or-later" || missing="$missing $f"
done
if [ -n "$missing" ]; then
  echo "Without the license line: $missing"
  exit 1
fi
echo "Every source file names GPL-3.0-or-later."
