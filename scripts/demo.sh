#!/usr/bin/env bash
# The demo: a stand-in mail server on loopback with a supervisor, two supervised users and their
# held messages, and Signer logged in as that supervisor.
#
#   scripts/demo.sh           installs what is missing, builds, starts the stand-in and Signer
#   scripts/demo.sh --xvfb    the same on a machine without a display: Signer runs under xvfb-run
#                             and a screenshot is saved every few seconds
#
# Stopping the demo (closing Signer, or Ctrl-C) stops the stand-in.
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$PWD

use_xvfb=0
case "${1:-}" in
  --xvfb) use_xvfb=1 ;;
  "") ;;
  *) echo "usage: $0 [--xvfb]" >&2; exit 2 ;;
esac

smtp_port=${DEMO_SMTP_PORT:-10025}
pop3_port=${DEMO_POP3_PORT:-10110}
demo=$repo/build/demo
root=$demo/mailserver
work=$demo/signer
bin=$repo/build/dev/bin

if [ $use_xvfb -eq 0 ] && [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  cat <<MSG
There is no display here (DISPLAY is not set). Signer is a desktop program; run the demo under a
virtual X server instead, which also saves screenshots you can look at:

    scripts/demo.sh --xvfb

or log in with a display (ssh -X works) and run scripts/demo.sh again.
MSG
  exit 1
fi

scripts/install-deps.sh
cmake --preset dev >/dev/null
cmake --build --preset dev --target Signer mailsandbox signoff-demo-setup

rm -rf "$demo"
mkdir -p "$work"
"$bin/signoff-demo-setup" "$root"

"$bin/mailsandbox" --root "$root" --smtp-port "$smtp_port" --pop3-port "$pop3_port" \
  > "$demo/mailsandbox.log" 2>&1 &
sandbox=$!
cleanup() {
  kill "$sandbox" 2>/dev/null || true
  wait "$sandbox" 2>/dev/null || true
}
trap cleanup EXIT INT TERM
for _ in $(seq 1 100); do
  (exec 3<>"/dev/tcp/127.0.0.1/$smtp_port") 2>/dev/null && break
  kill -0 "$sandbox" 2>/dev/null || { cat "$demo/mailsandbox.log" >&2; exit 1; }
  sleep 0.05
done

# The supervised users send their mail; the stand-in holds it for the supervisor.
submit() {
  local user=$1 file=$2 recipients
  recipients=$(grep -m2 -E '^(To|Cc):' "$file" | tr -d '\r' | sed -E 's/^(To|Cc): *//' | tr ',' '\n' |
               grep -oE '[^<> ]+@[^<> ]+' | sed 's/^/--mail-rcpt /')
  # shellcheck disable=SC2086
  curl -sS "smtp://127.0.0.1:$smtp_port/client.demo.test" -u "$user:$user-pw" \
    --mail-from "$user@demo.test" $recipients --upload-file "$file"
}
submit ann tools/demo/messages/1-quote-zh.eml
submit cid tools/demo/messages/2-contract-en.eml
submit ann tools/demo/messages/3-attachment.eml

cat > "$work/Signer.ini" <<INI
[Login]
UserName=boss
Server=127.0.0.1
Port=$pop3_port
SMTPPort=$smtp_port
Auth=1
INI

cat <<MSG

The stand-in mail server runs on 127.0.0.1 (SMTP $smtp_port, POP3 $pop3_port), its log in
$demo/mailsandbox.log. Three messages from ann@ and cid@demo.test wait for sign-off.

Signer starts now in $work.
Log in with the password:   boss-pw

Select a task and approve (签发) or return (退回) it; within 30 seconds it goes out. Results:
  delivered to bob:          $root/Users/demo.test/bob/
  returned to the sender:    $root/Users/demo.test/ann/ and .../cid/
  for other domains:         $root/Outbox/
Closing Signer stops the demo.
MSG

cd "$work"
if [ $use_xvfb -eq 1 ]; then
  xvfb-run -a -s "-screen 0 1280x800x24" bash -c '
    "$0" & signer=$!
    # No picture once Signer has gone: the screen would be black.
    while sleep 3 && kill -0 $signer 2>/dev/null; do
      import -window root "$1/screenshot.png" 2>/dev/null || true
    done' "$bin/Signer" "$demo" &
  echo "Screenshots: $demo/screenshot.png (every 3 s). Ctrl-C stops the demo."
  wait $!
else
  "$bin/Signer"
fi
