#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Two test runs at once on one machine each get a server of their own: both
# come up, overlap, restart theirs as the restart tests do, and still
# answer. The argument is the command that wraps a run in its server
# (default: what the test command uses).
set -uo pipefail
cd "$(dirname "$0")/.." || exit 1
if ! command -v pg_virtualenv >/dev/null || ! command -v openssl >/dev/null; then
  echo "pg_virtualenv o openssl assenti: test saltato."
  exit 77
fi
wrapper=${1:-"bash tests/with_server.sh"}
meet=$(mktemp -d -t velbor-side.XXXXXX)
trap 'rm -rf "$meet"' EXIT
chmod 755 "$meet"

# One run: its server answers, waits for the other run's, restarts, answers.
run() {
  $wrapper sh -c '
    psql -Atqc "SELECT 1" postgres >/dev/null || exit 1
    touch "$1/up.$2"
    i=0
    while [ ! -e "$1/up.$3" ] && [ ! -e "$1/end.$3" ] && [ $i -lt 1200 ]; do sleep 0.1; i=$((i + 1)); done
    [ -e "$1/up.$3" ] || exit 1
    sh -c "$VELBOR_TEST_PG_RESTART" || exit 1
    psql -Atqc "SELECT 1" postgres >/dev/null' sh "$meet" "$1" "$2"
  status=$?
  touch "$meet/end.$1"
  return $status
}
run a b >"$meet/a.log" 2>&1 &
first=$!
run b a >"$meet/b.log" 2>&1 &
second=$!
wait $first
a=$?
wait $second
b=$?
if [ $a -ne 0 ] || [ $b -ne 0 ]; then
  echo "Due esecuzioni insieme: non riuscite ($a, $b)."
  cat "$meet/a.log" "$meet/b.log"
  exit 1
fi
echo "Due esecuzioni insieme, ognuna col suo server: riuscite."
