#!/usr/bin/env bash
# A private Postfix SMTP server on loopback for tests, with AUTH LOGIN through the SASL socket of
# the test Dovecot and delivery into that Dovecot's maildirs (start Dovecot first:
# scripts/peers/dovecot.sh).
#
#   scripts/peers/postfix.sh start <dir> <port>   fresh config and queue in <dir>; returns once the
#                                                  port answers
#   scripts/peers/postfix.sh stop  <dir>           stops it and waits until its master is gone
#
# The Dovecot directory is MAILSIGNOFF_DOVECOT_DIR, else <dir>/../dovecot. Mail for alice, bob, boss
# and carol @example.test is delivered to <dovecot dir>/mail/<user>/; other recipients are refused.
# Accounts are Dovecot's (alice/alice-secret, ...). When Postfix is not installed or Dovecot does
# not run, start writes <dir>/unavailable with the reason and succeeds, so that the tests can skip;
# with CI set it fails instead. <dir>/ready marks a running server.
#
# TLS, with a certificate from the private CA <dir>/tls/ca.pem for localhost, 127.0.0.1 and
# 127.0.0.2: STARTTLS required (AUTH only after it) on <port>+1 (127.0.0.1, and 127.0.0.3, a name
# the certificate lacks), implicit TLS on <port>+2. <port> itself offers no STARTTLS.
#
# The sign-off gate: <port>+3 is the company's submission service as the README's recipe sets it up,
# with the milter at 127.0.0.1:<port>+4 (the tests start the gate there), milter_default_action
# tempfail, AUTH required before relaying and the sender bound to the login (alice's address may be
# used by alice and by her supervisor boss). Mail submitted with the sendmail command goes through
# the same milter.
set -euo pipefail
# shellcheck source=common.sh
source "$(dirname "$0")/common.sh"

action=${1:-}
dir=${2:-}
port=${3:-2525}
[ -n "$action" ] && [ -n "$dir" ] || { echo "usage: $0 start|stop <dir> [port]" >&2; exit 2; }
PATH=$PATH:/usr/sbin
mail_uid=5000

master_pid() {
  [ -f "$dir/spool/pid/master.pid" ] && tr -d ' ' < "$dir/spool/pid/master.pid" 2>/dev/null || true
}

stop() {
  rm -f "$dir/ready"
  local pid
  pid=$(master_pid)
  [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null || return 0
  postfix -c "$dir/etc" stop >/dev/null 2>&1 || kill "$pid" 2>/dev/null || true
  wait_gone "$pid" postfix
}

start() {
  stop
  local dovecot=${MAILSIGNOFF_DOVECOT_DIR:-$dir/../dovecot}
  fresh_reachable_dir

  command -v postfix >/dev/null 2>&1 ||
    unavailable "Postfix is not installed (apt-get install postfix, or scripts/install-deps.sh)"
  [ "$(id -u)" -eq 0 ] || unavailable "Postfix's private instance needs root"
  [ -f "$dovecot/ready" ] && [ -S "$dovecot/run/auth-client" ] ||
    unavailable "the test Dovecot does not run in $dovecot (scripts/peers/dovecot.sh start)"
  dovecot=$(cd "$dovecot" && pwd -P)
  if port_answers; then unavailable "port $port is already in use; set MAILSIGNOFF_POSTFIX_PORT"; fi

  mkdir -p "$dir/etc" "$dir/spool" "$dir/data"
  make_test_certificates
  chown postfix "$dir/data"
  cat > "$dir/etc/main.cf" <<CONF
compatibility_level = 3.6
queue_directory = $dir/spool
data_directory = $dir/data
mail_owner = postfix
maillog_file_prefixes = $dir
maillog_file = $dir/postfix.log
myhostname = mx.example.test
mydomain = example.test
inet_interfaces = all
inet_protocols = ipv4
mydestination =
alias_maps =
alias_database =
local_transport = error:local delivery disabled
default_transport = error:outbound disabled
relay_transport = error:outbound disabled
smtpd_banner = \$myhostname ESMTP test
virtual_mailbox_domains = example.test
virtual_mailbox_base = $dovecot/mail
virtual_mailbox_maps = inline:{ alice@example.test=alice/, bob@example.test=bob/, boss@example.test=boss/, carol@example.test=carol/ }
virtual_minimum_uid = $mail_uid
virtual_uid_maps = static:$mail_uid
virtual_gid_maps = static:$mail_uid
smtpd_tls_security_level = none
smtpd_tls_cert_file = $dir/tls/server.pem
smtpd_tls_key_file = $dir/tls/server.key
smtpd_tls_loglevel = 1
smtpd_sasl_auth_enable = yes
smtpd_sasl_type = dovecot
smtpd_sasl_path = $dovecot/run/auth-client
smtpd_sasl_security_options = noanonymous
smtpd_relay_restrictions = permit_sasl_authenticated, reject_unauth_destination
smtpd_sender_login_maps = texthash:$dir/etc/sender_logins
milter_protocol = 6
milter_default_action = tempfail
milter_connect_timeout = 5s
milter_command_timeout = 10s
milter_content_timeout = 30s
non_smtpd_milters = inet:127.0.0.1:$((port + 4))
CONF
  cat > "$dir/etc/sender_logins" <<CONF
alice@example.test alice, boss
bob@example.test bob
boss@example.test boss
carol@example.test carol
CONF
  cat > "$dir/etc/master.cf" <<CONF
127.0.0.1:$port inet n       -       n       -       -       smtpd
127.0.0.1:$((port + 1)) inet n  -       n       -       -       smtpd -o smtpd_tls_security_level=encrypt -o smtpd_tls_auth_only=yes
127.0.0.3:$((port + 1)) inet n  -       n       -       -       smtpd -o smtpd_tls_security_level=encrypt -o smtpd_tls_auth_only=yes
127.0.0.1:$((port + 2)) inet n  -       n       -       -       smtpd -o smtpd_tls_wrappermode=yes -o smtpd_tls_security_level=encrypt
127.0.0.1:$((port + 3)) inet n  -       n       -       -       smtpd -o smtpd_milters=inet:127.0.0.1:$((port + 4)) -o smtpd_sender_restrictions=reject_sender_login_mismatch
tlsmgr        unix  -       -       n       1000?   1       tlsmgr
pickup        unix  n       -       n       60      1       pickup
cleanup       unix  n       -       n       -       0       cleanup
qmgr          unix  n       -       n       300     1       qmgr
rewrite       unix  -       -       n       -       -       trivial-rewrite
bounce        unix  -       -       n       -       0       bounce
defer         unix  -       -       n       -       0       bounce
trace         unix  -       -       n       -       0       bounce
verify        unix  -       -       n       -       1       verify
flush         unix  n       -       n       1000?   0       flush
proxymap      unix  -       -       n       -       -       proxymap
showq         unix  n       -       n       -       -       showq
error         unix  -       -       n       -       -       error
retry         unix  -       -       n       -       -       error
discard       unix  -       -       n       -       -       discard
virtual       unix  -       n       n       -       -       virtual
anvil         unix  -       -       n       -       1       anvil
scache        unix  -       -       n       -       1       scache
postlog       unix-dgram n  -       n       -       1       postlogd
CONF

  # Postfix reports its errors only to a terminal.
  if ! script -qec "postfix -c $dir/etc check && postfix -c $dir/etc start" /dev/null > "$dir/start.out" 2>&1; then
    cat "$dir/start.out" >&2
    exit 1
  fi
  await_ready postfix port_answers "$dir/start.out" "$dir/postfix.log"
}

dispatch
