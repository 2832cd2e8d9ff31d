#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs one test program against the archive on a PostgreSQL server, which
# libpq's PG* variables name (the test command starts a throwaway one).
# Without a server a developer's run skips with a line saying so; the test
# command and CI (VELBOR_REQUIRE_SERVER or CI=true) fail instead.
if ! psql -Atqc 'SELECT 1' postgres >/dev/null 2>&1; then
  if [ -n "${VELBOR_REQUIRE_SERVER:-}" ] || [ "${CI:-}" = true ]; then
    echo "Server PostgreSQL non raggiungibile: i test sul server devono girare qui." >&2
    exit 1
  fi
  echo "Server PostgreSQL non raggiungibile (variabili PG*): test sul server saltato."
  exit 77
fi
VELBOR_TEST_ENGINE=postgresql exec "$@"
