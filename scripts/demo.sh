#!/usr/bin/env bash
# The demo: a stand-in mail server on loopback with a supervisor, two supervised users and their
# held messages, and Signer logged in as that supervisor.
#
#   scripts/demo.sh           installs what is missing, builds, starts the stand-in and Signer
#   scripts/demo.sh --xvfb    a guided tour that runs by itself on a private X display: Signer
#                             logs in, waits for the held messages, reads one in the built-in
#                             viewer, approves one, returns one with a reason and waits until both
#                             are delivered, with a picture of each step in build/demo/; then the delivered messages are shown and the
#                             demo ends (exit status 0 when every step finished in time)
#
# Stopping the demo (closing Signer, the end of the tour, or Ctrl-C) stops the stand-in.
#
# The package checks (scripts/package-test.sh) run the installed Signer with it:
#   DEMO_TOOLS=<bin>       the stand-in and the demo's setup program from <bin>, nothing built
#   DEMO_SIGNER="<cmd>"    the Signer to start, with any words before it (a wrapper) or options
#   DEMO_DIR=<dir>         the demo's folder instead of build/demo
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
demo=${DEMO_DIR:-$repo/build/demo}
root=$demo/mailserver
work=$demo/signer
bin=${DEMO_TOOLS:-$repo/build/dev/bin}
# shellcheck disable=SC2206 # a command with its words
signer=(${DEMO_SIGNER:-$bin/Signer})

if [ $use_xvfb -eq 0 ] && [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  cat <<MSG
There is no display here (DISPLAY is not set). Signer is a desktop program; run the demo under a
virtual X server instead, which also saves screenshots you can look at:

    scripts/demo.sh --xvfb

or log in with a display (ssh -X works) and run scripts/demo.sh again.
MSG
  exit 1
fi

if [ -z "${DEMO_TOOLS:-}" ]; then
  scripts/install-deps.sh
  cmake --preset dev >/dev/null
  cmake --build --preset dev --target Signer mailsandbox signoff-demo-setup
fi

rm -rf "$demo"
mkdir -p "$work"
"$bin/signoff-demo-setup" "$root"

# The stand-in speaks TLS with a certificate it makes for itself; Signer pins its fingerprint.
"$bin/mailsandbox" --root "$root" --smtp-port "$smtp_port" --pop3-port "$pop3_port" --tls \
  --smtps-port 0 --pop3s-port 0 > "$demo/mailsandbox.log" 2>&1 &
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
  curl -sS --ssl-reqd --cacert "$root/App/tls/cert.pem" "smtp://127.0.0.1:$smtp_port/client.demo.test" \
    -u "$user:$user-pw" \
    --mail-from "$user@demo.test" $recipients --upload-file "$file"
}
submit ann tools/demo/messages/1-quote-zh.eml
submit cid tools/demo/messages/2-contract-en.eml
submit ann tools/demo/messages/3-attachment.eml

fingerprint=$(sed -n 's/.*TLS certificate .*, SHA-256 //p' "$demo/mailsandbox.log" | head -1)
[ -n "$fingerprint" ] || { echo "the stand-in printed no certificate fingerprint" >&2; cat "$demo/mailsandbox.log" >&2; exit 1; }
cat > "$work/Signer.ini" <<INI
[Login]
UserName=boss
Server=127.0.0.1
Port=$pop3_port
SMTPPort=$smtp_port
Auth=1
Security=starttls
TlsPinSHA256=$fingerprint
INI

# The header of a message, one field a line: up to the first empty line, folded lines joined.
header_fields() {
  sed -n '/^\r\{0,1\}$/q;p' "$1" | tr -d '\r' |
    awk '/^[ \t]/ { sub(/^[ \t]+/, " "); field = field $0; next }
         { if (field != "") print field; field = $0 }
         END { if (field != "") print field }'
}

# Encoded words (=?UTF-8?B?...?=) as text, where Python is at hand.
decoded() {
  if command -v python3 >/dev/null; then
    python3 -c 'import sys
from email.header import decode_header, make_header
for line in sys.stdin:
    try:
        print(make_header(decode_header(line.rstrip("\n"))))
    except Exception:
        print(line, end="")'
  else
    cat
  fi
}

where_delivered() {
  echo "Delivered messages and their marker lines:"
  { find "$root/Users" "$root/Outbox" -type f 2>/dev/null || true; } | sort | while read -r file; do
    grep -q '^X-Sign:' "$file" || continue
    echo "  ${file#"$repo"/}"
    header_fields "$file" | { grep -E '^(Subject|To|X-Sign[A-Za-z-]*):' || true; } | decoded |
      sed 's/^/      /'
  done
}

if [ $use_xvfb -eq 1 ]; then
  cat <<MSG

The stand-in mail server runs on 127.0.0.1 (SMTP $smtp_port, POP3 $pop3_port), its log in
$demo/mailsandbox.log. Three messages from ann@ and cid@demo.test wait for sign-off.
Signer now tours by itself on a private X display; pictures go to $demo/.
MSG
  cd "$work"
  status=0
  # Each step of the tour has its own time limit; this one only ends a tour that hangs whole.
  # Signer here is the sanitizer build; at exit Qt's D-Bus thread may still hold a few hundred
  # bytes, which must not fail a finished tour (the tests check leaks).
  ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0" SIGNER_TOUR_PASSWORD=boss-pw timeout --kill-after=10 "${DEMO_TOUR_TIMEOUT:-300}" \
    xvfb-run -a -s "-screen 0 1280x800x24" "${signer[@]}" --tour "$demo" --tour-tasks 3 ||
    status=$?
  echo
  if [ $status -ne 0 ]; then
    echo "The tour did not finish (exit status $status); the stand-in's log: $demo/mailsandbox.log" >&2
    exit $status
  fi
  where_delivered
  echo "Pictures of each step:"
  ls "$demo"/*.png | sed 's/^/  /'
  exit 0
fi

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
"${signer[@]}"
where_delivered
