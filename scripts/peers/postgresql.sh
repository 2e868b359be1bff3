#!/usr/bin/env bash
# A private PostgreSQL cluster on loopback for tests and benchmarks.
#
#   scripts/peers/postgresql.sh start <dir> <port>   fresh cluster in <dir>; returns once it answers
#   scripts/peers/postgresql.sh stop  <dir>           stops it and waits until it is gone
#
# Database maildb, owned by the role mailtest with the password mailtest-pw, reached over TCP on
# 127.0.0.1 (password checked); the server's socket is in <dir>/sock. As root the cluster runs as
# the user postgres. When PostgreSQL is not installed, start writes <dir>/unavailable with the reason
# and succeeds, so that the tests can skip; with CI set it fails instead. <dir>/ready marks a running
# server.
set -euo pipefail
# shellcheck source=common.sh
source "$(dirname "$0")/common.sh"

action=${1:-}
dir=${2:-}
port=${3:-5433}
[ -n "$action" ] && [ -n "$dir" ] || { echo "usage: $0 start|stop <dir> [port]" >&2; exit 2; }

bin=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1 || true)

# Runs a command as the cluster's owner.
as_owner() {
  if [ "$(id -u)" -eq 0 ]; then
    runuser -u postgres -- "$@"
  else
    "$@"
  fi
}

stop() {
  rm -f "$dir/ready"
  [ -f "$dir/data/postmaster.pid" ] || return 0
  local pid
  pid=$(head -n 1 "$dir/data/postmaster.pid" 2>/dev/null || true)
  as_owner "$bin/pg_ctl" -D "$dir/data" -m fast -w -t 20 stop > /dev/null || true
  if [ -n "$pid" ]; then wait_gone "$pid" postgres; fi
}

answers() {
  as_owner "$bin/pg_isready" -q -h 127.0.0.1 -p "$port" 2>/dev/null
}

start() {
  if [ -n "$bin" ]; then stop; fi
  fresh_reachable_dir
  [ -n "$bin" ] && [ -x "$bin/initdb" ] ||
    unavailable "PostgreSQL is not installed (apt-get install postgresql, or scripts/install-deps.sh)"
  if [ "$(id -u)" -eq 0 ] && ! id postgres > /dev/null 2>&1; then
    unavailable "the user postgres is missing (it comes with the package postgresql)"
  fi
  if port_answers; then unavailable "port $port is already in use; set MAILSIGNOFF_POSTGRESQL_PORT"; fi

  echo "postgres-admin-$$" > "$dir/pwfile"
  chmod 600 "$dir/pwfile"
  mkdir -p "$dir/sock"
  if [ "$(id -u)" -eq 0 ]; then chown postgres "$dir" "$dir/pwfile" "$dir/sock"; fi

  as_owner "$bin/initdb" -D "$dir/data" -U postgres --pwfile="$dir/pwfile" --auth-local=trust \
    --auth-host=scram-sha-256 -E UTF8 --locale=C.UTF-8 > "$dir/initdb.log" 2>&1 ||
    { cat "$dir/initdb.log" >&2; exit 1; }
  as_owner "$bin/pg_ctl" -D "$dir/data" -l "$dir/postgresql.log" -w -t 20 \
    -o "-p $port -c listen_addresses=127.0.0.1 -c unix_socket_directories=$dir/sock" start > /dev/null ||
    { cat "$dir/postgresql.log" >&2; exit 1; }
  as_owner "$bin/psql" -q -h "$dir/sock" -p "$port" -U postgres -d postgres \
    -c "CREATE ROLE mailtest LOGIN PASSWORD 'mailtest-pw'" -c "CREATE DATABASE maildb OWNER mailtest" > /dev/null
  await_ready postgresql answers "$dir/postgresql.log"
}

dispatch
