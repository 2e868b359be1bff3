#!/usr/bin/env bash
# A private CUPS scheduler on loopback for tests.
#
#   scripts/peers/cups.sh start <dir> <port>   fresh configuration and spool in <dir>; returns once the
#                                               scheduler answers
#   scripts/peers/cups.sh stop  <dir>           stops it and waits until it is gone
#
# Queues: "lab" (prints into <dir>/out/lab.prn through a pass-through filter) and "office" (prints
# into /dev/null); "lab" is the server's default. Clients should use <dir>/home as HOME, so that the
# user default that lpoptions writes stays inside <dir>. When CUPS is not installed, start writes
# <dir>/unavailable with the reason and succeeds, so that the tests can skip; with CI set it fails
# instead. <dir>/ready marks a running server.
set -euo pipefail
# shellcheck source=common.sh
source "$(dirname "$0")/common.sh"

action=${1:-}
dir=${2:-}
port=${3:-11631}
[ -n "$action" ] && [ -n "$dir" ] || { echo "usage: $0 start|stop <dir> [port]" >&2; exit 2; }
PATH=$PATH:/usr/sbin

stop() {
  rm -f "$dir/ready"
  local pid=""
  [ -f "$dir/cups/state/cupsd.pid" ] && pid=$(cat "$dir/cups/state/cupsd.pid" 2>/dev/null || true)
  [ -n "$pid" ] || pid=$(cat "$dir/cupsd.pid" 2>/dev/null || true)
  if [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null; then
    kill "$pid"
    wait_gone "$pid" cupsd
  fi
  rm -f "$dir/cupsd.pid"
}

scheduler_answers() {
  lpstat -h "127.0.0.1:$port" -r 2>/dev/null | grep -q "scheduler is running"
}

start() {
  stop
  fresh_reachable_dir

  command -v cupsd >/dev/null 2>&1 && command -v lpadmin >/dev/null 2>&1 ||
    unavailable "CUPS is not installed (apt-get install cups-daemon cups-client, or scripts/install-deps.sh)"
  if port_answers; then unavailable "port $port is already in use; set MAILSIGNOFF_CUPS_PORT"; fi

  mkdir -p "$dir"/cups/{etc,spool/tmp,cache,state,log} "$dir/out" "$dir/home"
  # Filters run as lp: the job's output folder must be theirs to write.
  [ "$(id -u)" -eq 0 ] && chown lp "$dir/out"

  cat > "$dir/cups/etc/cups-files.conf" <<CONF
ServerRoot $dir/cups/etc
RequestRoot $dir/cups/spool
TempDir $dir/cups/spool/tmp
CacheDir $dir/cups/cache
StateDir $dir/cups/state
AccessLog $dir/cups/log/access_log
ErrorLog $dir/cups/log/error_log
PageLog $dir/cups/log/page_log
Printcap $dir/cups/printcap
FileDevice Yes
User lp
Group lp
SystemGroup root
LogFileGroup root
CONF

  cat > "$dir/cups/etc/cupsd.conf" <<CONF
LogLevel info
Listen 127.0.0.1:$port
Browsing No
WebInterface No
DefaultAuthType None
IdleExitTimeout 0
<Location />
  Order allow,deny
  Allow from 127.0.0.1
</Location>
<Policy default>
  JobPrivateAccess all
  JobPrivateValues none
  SubscriptionPrivateAccess all
  SubscriptionPrivateValues none
  <Limit All>
    Order deny,allow
  </Limit>
</Policy>
CONF

  # A file queue without a filter would complete its jobs and write nothing.
  printf '#!/bin/sh\nexec cat ${6:+"$6"}\n' > "$dir/cups/passthru"
  chmod 755 "$dir/cups/passthru"
  cat > "$dir/cups/passthru.ppd" <<PPD
*PPD-Adobe: "4.3"
*FormatVersion: "4.3"
*FileVersion: "1.0"
*LanguageVersion: English
*LanguageEncoding: ISOLatin1
*PCFileName: "PASSTHRU.PPD"
*Manufacturer: "Test"
*Product: "(Pass-through)"
*ModelName: "Test pass-through"
*ShortNickName: "Test pass-through"
*NickName: "Test pass-through"
*cupsFilter: "*/* 0 $dir/cups/passthru"
PPD

  # The daemon must not hold the caller's output open (CTest waits for it to close).
  cupsd -f -c "$dir/cups/etc/cupsd.conf" -s "$dir/cups/etc/cups-files.conf" \
    </dev/null >>"$dir/cupsd.out" 2>&1 &
  echo $! > "$dir/cupsd.pid"
  await_ready cupsd scheduler_answers "$dir/cupsd.out" "$dir/cups/log/error_log"

  export HOME=$dir/home
  local server=127.0.0.1:$port
  lpadmin -h "$server" -p office -E -v file:/dev/null
  lpadmin -h "$server" -p lab -E -v "file://$dir/out/lab.prn" -P "$dir/cups/passthru.ppd" 2>/dev/null
  lpadmin -h "$server" -d lab
}

dispatch
