#!/usr/bin/env bash
# Postfix with the sign-off gate against Postfix alone: smtp-source sends N messages of 10 KB over
# 10 connections to the plain listener and to the gated one, interleaved, ROUNDS times each. With
# MODE held every gated message is held (the sender is a supervised user), the gate's heaviest
# path; with passed the sender has no rule. Then the gate's peak memory after N and after 10 x N
# more messages.
#
#   tools/signgate/bench/gate_bench.sh [N] [ROUNDS] [held|passed]   (as root; release build first)
set -euo pipefail
cd "$(dirname "$0")/../../.."
count=${1:-1000}
rounds=${2:-3}
mode=${3:-held}
users="alice@example.test|"
[ "$mode" = held ] && users="outside@other.test|$users"
gate=${SIGNGATE:-build/release/bin/signgate}
work=$(mktemp -d /tmp/gate-bench.XXXXXX)
port=${MAILSIGNOFF_BENCH_PORT:-12525}
PATH=$PATH:/usr/sbin

cleanup() {
  [ -n "${gate_pid:-}" ] && kill "$gate_pid" 2>/dev/null || true
  scripts/peers/postfix.sh stop "$work/postfix" >/dev/null 2>&1 || true
  scripts/peers/dovecot.sh stop "$work/dovecot" >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT

MAILSIGNOFF_DOVECOT_DIR=$work/dovecot
export MAILSIGNOFF_DOVECOT_DIR
scripts/peers/dovecot.sh start "$work/dovecot" $((port - 1000)) >/dev/null
scripts/peers/postfix.sh start "$work/postfix" "$port" >/dev/null
printf '[Rule001]\r\nRuleName=Sign_0_boss@example.test\r\nEnable=Yes\r\nThisRuleCondition=All\r\nProcessQueue=REMOTE\r\nCondition01=FROM|contains|OR|%s\r\nCondition02=X-Sign|does not contain|AND|vandry!|\r\nAction01=copy to|"boss@example.test"\r\nAction02=delete|\r\n' "$users" > "$work/cfrules.dat"
"$gate" --socket "inet:$((port + 4))@127.0.0.1" --rules "$work/cfrules.dat" 2>/dev/null &
gate_pid=$!
sleep 0.5

# Sends n messages to the port and prints the seconds until Postfix has accepted them all.
run() {
  local to_port=$1 n=$2 start end
  start=$(date +%s.%N)
  smtp-source -c -l 10240 -m "$n" -s 10 -f outside@other.test -t bob@example.test "127.0.0.1:$to_port" >/dev/null
  end=$(date +%s.%N)
  echo "$end - $start" | bc
}

best_plain=999999 best_gated=999999
for round in $(seq "$rounds"); do
  plain=$(run "$port" "$count")
  gated=$(run $((port + 3)) "$count")
  echo "round $round: Postfix alone ${plain}s, with the gate ${gated}s"
  best_plain=$(echo "if ($plain < $best_plain) $plain else $best_plain" | bc)
  best_gated=$(echo "if ($gated < $best_gated) $gated else $best_gated" | bc)
done
echo "$mode, best of $rounds, $count messages of 10 KB: alone $(echo "$count / $best_plain" | bc) msg/s," \
     "with the gate $(echo "$count / $best_gated" | bc) msg/s," \
     "ratio $(echo "scale=2; $best_plain / $best_gated" | bc)"
rss() { awk '/VmHWM/ {print $2 " kB"}' "/proc/$gate_pid/status"; }
cpu_ms() { awk -v hz="$(getconf CLK_TCK)" '{print int(($14 + $15) * 1000 / hz)}' "/proc/$gate_pid/stat"; }
echo "gate CPU time (user + system) for $((rounds * count)) messages: $(cpu_ms) ms"
echo "gate peak RSS after $((rounds * count)) messages: $(rss)"
run $((port + 3)) $((count * 10)) >/dev/null
echo "gate peak RSS after $((rounds * count + count * 10)) messages: $(rss)"
echo "held copies delivered to boss: $(find "$work/dovecot/mail/boss" -path '*/new/*' -type f | wc -l)"
