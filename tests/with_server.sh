#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs a command against a throwaway PostgreSQL 15 cluster of its own, which
# libpq's PG* variables name for it and VELBOR_TEST_PG_RESTART restarts:
#   bash tests/with_server.sh ctest --test-dir build -R _server
# The cluster lives in a temporary folder (pg_virtualenv -t, also as root),
# on a free port of its own, so two runs at once on one machine never meet;
# it speaks TLS with a certificate made for the run (Velbor sends a password
# only over TLS), and goes when the command ends.
set -euo pipefail
# Run inside another run (the test command's own server): nothing of that
# one's server carries over.
unset PGHOST PGHOSTADDR PGPORT PGUSER PGDATABASE PGPASSWORD PGPASSFILE PGSERVICE PGSERVICEFILE \
  PGSYSCONFDIR PG_CLUSTER_CONF_ROOT PGVERSION VELBOR_TEST_PG_RESTART
work=$(mktemp -d -t velbor-pg.XXXXXX)
trap 'rm -rf "$work"' EXIT
chmod 755 "$work"
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=localhost \
  -keyout "$work/server.key" -out "$work/server.crt" 2>/dev/null
chmod 600 "$work/server.key"
# Settings of this run's own: TLS, and the server's pid file (pg_ctlcluster
# reads it to tell whether the cluster runs; the default one is named after
# the cluster, 15/regress, which every run's cluster is called).
mkdir "$work/run"
printf "ssl = on\nssl_cert_file = '%s'\nssl_key_file = '%s'\nexternal_pid_file = '%s'\n" \
  "$work/server.crt" "$work/server.key" "$work/run/postgres.pid" > "$work/run.conf"
if [ "$(id -u)" = 0 ]; then chown -R postgres: "$work/server.key" "$work/server.crt" "$work/run.conf" "$work/run"; fi
# A port nothing listens on and no cluster has claimed.
for _ in $(seq 100); do
  port=$((20000 + RANDOM % 20000))
  if ! (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && [ ! -e "/var/run/postgresql/.s.PGSQL.$port.lock" ]; then
    break
  fi
done
status=0
PGPORT=$port pg_virtualenv -t -v 15 -o fsync=off -o "include=$work/run.conf" \
  sh -c 'VELBOR_TEST_PG_RESTART="pg_ctlcluster $PGVERSION regress restart" "$@"' sh "$@" || status=$?
exit $status
