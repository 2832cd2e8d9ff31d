#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs one Windows test program under Wine: Qt Test's report goes to a file
# (Wine does not pass a console program's test log to a pipe), shown after.
test=$1
shift
log=$(mktemp)
"$(dirname "$0")/../../packaging/windows/wine-run.sh" "$test" -o "Z:$log,txt" "$@"
rc=$?
cat "$log"
rm -f "$log"
exit $rc
