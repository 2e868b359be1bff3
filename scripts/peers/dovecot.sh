#!/usr/bin/env bash
# A private Dovecot POP3 server on loopback for tests and benchmarks.
#
#   scripts/peers/dovecot.sh start <dir> <port>   fresh config, users and maildirs in <dir>; returns
#                                                  once the port answers
#   scripts/peers/dovecot.sh stop  <dir>           stops it and waits until the master process is gone
#
# TLS: STLS on <port> (on 127.0.0.1, 127.0.0.2 and 127.0.0.3), POP3S on <port>+1 (127.0.0.1), with a
# certificate from the private CA <dir>/tls/ca.pem for localhost, 127.0.0.1 and 127.0.0.2 (not
# 127.0.0.3). Plain logins stay allowed.
#
# Accounts: alice/alice-secret, bob/bob-secret, boss/boss-secret, carol/carol-secret; mail in <dir>/mail/<user>/ (maildir,
# owned by uid 5000). When Dovecot is not installed, start writes <dir>/unavailable with the reason
# and succeeds, so that the tests can skip; with CI set it fails instead. <dir>/ready marks a
# running server.
set -euo pipefail
# shellcheck source=common.sh
source "$(dirname "$0")/common.sh"

action=${1:-}
dir=${2:-}
port=${3:-11110}
[ -n "$action" ] && [ -n "$dir" ] || { echo "usage: $0 start|stop <dir> [port]" >&2; exit 2; }

mail_uid=5000

master_pid() {
  [ -f "$dir/run/master.pid" ] && cat "$dir/run/master.pid" 2>/dev/null || true
}

stop() {
  local pid
  pid=$(master_pid)
  rm -f "$dir/ready"
  if [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null; then
    kill "$pid"
    wait_gone "$pid" dovecot
  fi
}

start() {
  stop
  fresh_reachable_dir

  command -v dovecot >/dev/null 2>&1 || [ -x /usr/sbin/dovecot ] ||
    unavailable "Dovecot is not installed (apt-get install dovecot-pop3d, or scripts/install-deps.sh)"
  [ "$(id -u)" -eq 0 ] || unavailable "Dovecot's private instance needs root (it serves mail as uid $mail_uid)"
  if port_answers; then unavailable "port $port is already in use; set MAILSIGNOFF_DOVECOT_PORT"; fi
  PATH=$PATH:/usr/sbin

  # Dovecot's processes run as uid 5000 and must reach the maildirs.
  chmod 755 "$dir"
  mkdir -p "$dir/run" "$dir/state"
  for user in alice bob boss carol; do
    echo "$user:{PLAIN}$user-secret::::::" >> "$dir/users"
    mkdir -p "$dir/mail/$user/tmp" "$dir/mail/$user/new" "$dir/mail/$user/cur"
  done
  chown -R "$mail_uid:$mail_uid" "$dir/mail"
  make_test_certificates

  cat > "$dir/dovecot.conf" <<CONF
base_dir = $dir/run
state_dir = $dir/state
instance_name = peers-dovecot-$port
log_path = $dir/dovecot.log
protocols = pop3
listen = 127.0.0.1, 127.0.0.2, 127.0.0.3
ssl = yes
ssl_cert = <$dir/tls/server.pem
ssl_key = <$dir/tls/server.key
disable_plaintext_auth = no
auth_mechanisms = plain login
first_valid_uid = $mail_uid
last_valid_uid = $mail_uid
mail_location = maildir:$dir/mail/%n
pop3_uidl_format = %08Xu%08Xv
auth_failure_delay = 0
passdb {
  driver = passwd-file
  args = scheme=PLAIN username_format=%n $dir/users
}
userdb {
  driver = passwd-file
  args = username_format=%n $dir/users
  default_fields = uid=$mail_uid gid=$mail_uid home=$dir/mail/%n
}
service pop3-login {
  inet_listener pop3 {
    address = 127.0.0.1, 127.0.0.2, 127.0.0.3
    port = $port
  }
  inet_listener pop3s {
    address = 127.0.0.1
    port = $((port + 1))
    ssl = yes
  }
}
service auth {
  unix_listener auth-client {
    mode = 0666
  }
}
service anvil {
  unix_listener anvil-auth-penalty {
    mode = 0
  }
}
CONF

  # The daemon must not hold the caller's output open (CTest waits for it to close).
  dovecot -c "$dir/dovecot.conf" </dev/null >>"$dir/dovecot.log" 2>&1
  await_ready dovecot port_answers "$dir/dovecot.log"
}

dispatch
