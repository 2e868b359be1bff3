#!/usr/bin/env bash
# A private dnsmasq DNS server on loopback for tests.
#
#   scripts/peers/dnsmasq.sh start <dir> <port>   fresh config in <dir>; returns once it answers
#   scripts/peers/dnsmasq.sh stop  <dir>           stops it
#
# Zone: example.test has the exchangers backup.example.test (5), mx1.example.test (10) and
# mx2.example.test (20), served in another order; nomx.test has an address and no exchanger; other
# names under .test do not exist. route.test has the exchangers 127.0.0.2 (10) and 127.0.0.3 (20),
# named by their addresses so that the system's own resolver finds them too. When dnsmasq is not installed, start writes <dir>/unavailable with
# the reason and succeeds, so that the tests can skip; with CI set it fails instead. <dir>/ready
# marks a running server.
set -euo pipefail
# shellcheck source=common.sh
source "$(dirname "$0")/common.sh"

action=${1:-}
dir=${2:-}
port=${3:-15353}
[ -n "$action" ] && [ -n "$dir" ] || { echo "usage: $0 start|stop <dir> [port]" >&2; exit 2; }
PATH=$PATH:/usr/sbin

stop() {
  rm -f "$dir/ready"
  [ -f "$dir/dnsmasq.pid" ] || return 0
  local pid
  pid=$(cat "$dir/dnsmasq.pid" 2>/dev/null || true)
  rm -f "$dir/dnsmasq.pid"
  if [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null; then
    kill "$pid"
    wait_gone "$pid" dnsmasq
  fi
}

# True once the server answers a query for the test zone.
answers() {
  if command -v dig >/dev/null 2>&1; then
    dig +short +time=1 +tries=1 @127.0.0.1 -p "$port" example.test MX 2>/dev/null | grep -q mx1
  else
    [ -s "$dir/dnsmasq.pid" ] && kill -0 "$(cat "$dir/dnsmasq.pid")" 2>/dev/null
  fi
}

start() {
  stop
  rm -rf "$dir"
  mkdir -p "$dir"
  dir=$(cd "$dir" && pwd)
  command -v dnsmasq >/dev/null 2>&1 ||
    unavailable "dnsmasq is not installed (apt-get install dnsmasq-base, or scripts/install-deps.sh)"

  cat > "$dir/dnsmasq.conf" <<CONF
port=$port
listen-address=127.0.0.1
bind-interfaces
no-resolv
no-hosts
pid-file=$dir/dnsmasq.pid
log-facility=$dir/dnsmasq.log
log-queries
local=/test/
mx-host=example.test,mx1.example.test,10
mx-host=example.test,mx2.example.test,20
mx-host=example.test,backup.example.test,5
host-record=mx1.example.test,127.0.0.1
host-record=mx2.example.test,127.0.0.2
host-record=nomx.test,127.0.0.3
mx-host=route.test,127.0.0.2,10
mx-host=route.test,127.0.0.3,20
CONF
  # As root dnsmasq drops to "nobody", which must be able to write its log.
  [ "$(id -u)" -eq 0 ] && echo "user=nobody" >> "$dir/dnsmasq.conf"
  touch "$dir/dnsmasq.log"
  chmod 666 "$dir/dnsmasq.log"

  if ! dnsmasq --conf-file="$dir/dnsmasq.conf" 2> "$dir/start.err"; then
    cat "$dir/start.err" >&2
    grep -q "Address already in use" "$dir/start.err" &&
      unavailable "port $port is already in use; set MAILSIGNOFF_DNSMASQ_PORT"
    exit 1
  fi
  await_ready dnsmasq answers "$dir/dnsmasq.log"
}

dispatch
