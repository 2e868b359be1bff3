#!/usr/bin/env bash
# The packages as an administrator gets them: builds them (scripts/package.sh), checks them with
# lintian, installs them on this machine with apt-get, checks the installed files only (nothing of
# the build tree but the test stand-in), and purges them again, looking for anything left behind.
# scripts/test.sh runs it after the tests; it needs root (or sudo) for apt-get.
#
#   scripts/package-test.sh        build/package-test/ keeps the logs, the listing of every
#                                  package (contents.txt) and the tour's pictures
#
# The test servers listen on PACKAGE_TEST_DOVECOT_PORT (11410, and the next) and
# PACKAGE_TEST_POSTFIX_PORT (2745 and the next two), the demo's stand-in on 10125 and 10210, so
# that the checks do not meet the tests' own servers.
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$PWD
out=$repo/build/package-test
debs=$repo/build/package/packages
tools=$repo/build/package/bin
dovecot_port=${PACKAGE_TEST_DOVECOT_PORT:-11410}
postfix_port=${PACKAGE_TEST_POSTFIX_PORT:-2745}
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive

step() { printf '\n== %s\n' "$*"; }
fail() { echo "package-test: FAILED: $*" >&2; exit 1; }

# A slimmed system (as in Docker's slim images) leaves out the man pages of every package.
if grep -rqs '^path-exclude.*/usr/share/man' /etc/dpkg/dpkg.cfg.d/; then
  fail "dpkg leaves out /usr/share/man here (path-exclude in /etc/dpkg/dpkg.cfg.d/): the man pages cannot be checked"
fi

scripts/package.sh
rm -rf "$out"
mkdir -p "$out"
mapfile -t deb_files < <(ls "$debs"/*.deb)
packages=()
for deb in "${deb_files[@]}"; do packages+=("$(dpkg-deb -f "$deb" Package)"); done

step "The packages and their files"
{
  for deb in "${deb_files[@]}"; do
    printf '%s  %s bytes, installed %s KiB\n' "$(basename "$deb")" "$(stat -c %s "$deb")" \
      "$(dpkg-deb -f "$deb" Installed-Size)"
    dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { size = $3; $1 = $2 = $3 = $4 = $5 = ""; sub(/^ *\./, "")
                                          printf "    %9s  %s\n", size, $0 }'
  done
} > "$out/contents.txt"
grep '\.deb ' "$out/contents.txt"
echo "(each package's files: $out/contents.txt)"

step "lintian"
# Errors and warnings fail; the warnings a package keeps are in its lintian overrides
# (packaging/debian/*.lintian-overrides), with the reason, and show here as O:.
lintian --fail-on error,warning --display-level ">=warning" --show-overrides "${deb_files[@]}" 2>&1 |
  grep -v -E '^N: |running with root privileges' || true
lintian --fail-on error,warning "${deb_files[@]}" >/dev/null 2>&1 || fail "lintian reports errors or warnings"

# What the packages need from the system is installed first, so that what the purge has to take
# away again is exactly what the packages brought.
needed=$($sudo apt-get install -s "${deb_files[@]}" | awk '/^Inst / { print $2 }' |
  grep -v -x -F -f <(printf '%s\n' "${packages[@]}") || true)
if [ -n "$needed" ]; then
  step "Dependencies from the system: ${needed//$'\n'/ }"
  # shellcheck disable=SC2086
  $sudo apt-get install -y -qq --no-install-recommends $needed
fi

# Every path below the system's folders, but for those that change by themselves (apt's and
# dpkg's own records, caches, logs) and the caches that dpkg's triggers rebuild.
snapshot() {
  $sudo find /etc /usr /var /opt /srv -xdev \
    \( -path /var/lib/dpkg -o -path /var/lib/apt -o -path /var/cache -o -path /var/log \
       -o -path /var/tmp -o -path /var/spool -o -path /var/mail -o -path /var/lib/lintian \
       -o -name __pycache__ \) -prune -o -print |
    grep -v -E '^/etc/(passwd|group|shadow|gshadow|subuid|subgid)-?$|^/etc/\.pwd\.lock$|^/etc/ld\.so\.cache$|/mimeinfo\.cache$|/icon-theme\.cache$' |
    sort
}
snapshot > "$out/before.txt"

installed=0
peers_started=0
cleanup() {
  local status=$?
  if [ $peers_started -eq 1 ]; then
    MAILSIGNOFF_DOVECOT_DIR=$out/peers/dovecot scripts/peers/postfix.sh stop "$out/peers/postfix" >/dev/null 2>&1 || true
    scripts/peers/dovecot.sh stop "$out/peers/dovecot" >/dev/null 2>&1 || true
  fi
  if [ $installed -eq 1 ] && [ $status -ne 0 ]; then
    echo "package-test: purging the packages after the failure" >&2
    $sudo apt-get purge -y -qq "${packages[@]}" >/dev/null 2>&1 || true
  fi
}
trap cleanup EXIT

step "apt-get install ${debs#"$repo"/}/*.deb"
installed=1
$sudo apt-get install -y "${deb_files[@]}" > "$out/install.log" 2>&1 || { cat "$out/install.log"; fail "apt-get install"; }
grep -E '^(Setting up|Creating|Created)' "$out/install.log" || true

mapfile -t files < <(for p in "${packages[@]}"; do dpkg -L "$p"; done | sort -u)
regular=()
for f in "${files[@]}"; do [ -f "$f" ] && [ ! -L "$f" ] && regular+=("$f"); done

step "No path of the build tree in the installed files, no search paths of their own"
leaks=$(grep -l -a -F "$repo" "${regular[@]}" || true)
for f in "${regular[@]}"; do
  case $f in *.gz) zgrep -q -a -F "$repo" "$f" && leaks+=" $f" ;; esac
done
[ -z "$leaks" ] || fail "files naming the build tree $repo: $leaks"
unsubstituted=$(for f in "${regular[@]}"; do
  case $f in
    *.gz) zgrep -l -E '@[A-Z_]+@' "$f" || true ;;
    /etc/*|*.service|*.desktop|*/sysusers.d/*|*/tmpfiles.d/*) grep -l -E '@[A-Z_]+@' "$f" || true ;;
  esac
done)
[ -z "$unsubstituted" ] || fail "files with @VARIABLES@ left: $unsubstituted"
for f in "${regular[@]}"; do
  if file -b "$f" | grep -q '^ELF' && readelf -d "$f" | grep -q -E 'RPATH|RUNPATH'; then
    fail "$f has a library search path of its own"
  fi
done
echo "ok: ${#regular[@]} files"

step "man -w"
pages=0
for f in "${files[@]}"; do
  if [[ $f =~ ^/usr/share/man/man([1-9])/(.+)\.[1-9]\.gz$ ]]; then
    man -w "${BASH_REMATCH[1]}" "${BASH_REMATCH[2]}"
    warnings=$(man --warnings -E UTF-8 -l "$f" 2>&1 >/dev/null || true)
    [ -z "$warnings" ] || fail "man reports for $f: $warnings"
    pages=$((pages + 1))
  fi
done
for program in Signer vetrule mailqueue debugmonitor; do
  man -w 1 "$program" >/dev/null || fail "no man page for $program"
done
if [ -x /usr/bin/signgate ]; then man -w 8 signgate >/dev/null || fail "no man page for signgate"; fi
echo "ok: $pages pages"

step "desktop-file-validate and the icons"
for f in "${files[@]}"; do
  case $f in /usr/share/applications/*.desktop) ;; *) continue ;; esac
  desktop-file-validate "$f" || fail "desktop-file-validate $f"
  icon=$(sed -n 's/^Icon=//p' "$f")
  program=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$f")
  command -v "$program" >/dev/null || fail "$f starts $program, which is not installed"
  for size in scalable/apps/$icon.svg 48x48/apps/$icon.png 256x256/apps/$icon.png; do
    [ -f "/usr/share/icons/hicolor/$size" ] || fail "$f: no icon /usr/share/icons/hicolor/$size"
  done
  if ! grep -q '^Name\[zh_CN\]=' "$f" || ! grep -q '^Comment\[zh_CN\]=' "$f"; then
    fail "$f: no Chinese name or comment"
  fi
  echo "ok: $f ($program, icon $icon)"
done

step "systemd units"
for f in "${files[@]}"; do
  case $f in /usr/lib/systemd/system/*.service) ;; *) continue ;; esac
  systemd-analyze verify "$f" || fail "systemd-analyze verify $f"
  # The exposure that systemd-analyze security gives the unit: well hardened is below 2.
  systemd-analyze security --offline=yes --threshold=20 --no-pager "$f" | tail -1
  enabled=/etc/systemd/system/multi-user.target.wants/$(basename "$f")
  [ -L "$enabled" ] || fail "$(basename "$f") is not enabled ($enabled)"
  echo "ok: $f"
done

step "mailqueue.service's user, folders and settings"
getent passwd _mailqueue >/dev/null || fail "no user _mailqueue"
settings=/etc/mailsignoff/mailqueue.ini
dpkg-query -W -f='${Conffiles}\n' mailsignoff-mailqueue | grep -q " $settings " || fail "$settings is no conffile"
[ "$(stat -c '%U:%G %a' "$settings")" = "root:_mailqueue 640" ] || fail "$settings: $(stat -c '%U:%G %a' "$settings")"
[ "$(stat -c '%U %a' /var/lib/mailsignoff/mailqueue)" = "_mailqueue 750" ] || fail "/var/lib/mailsignoff/mailqueue: $(stat -c '%U %a' /var/lib/mailsignoff/mailqueue)"
# The unit's command, as the unit's user, with the installed settings: the queue opens in the
# state folder and nothing is due.
as_service=(setpriv --reuid=_mailqueue --regid=_mailqueue --init-groups env MAILSIGNOFF_LOG_DIR=-)
result=$($sudo "${as_service[@]}" /usr/bin/mailqueue --settings "$settings" run --once)
[ "$result" = "0 sent, 0 rescheduled, 0 given up" ] || fail "mailqueue run --once as _mailqueue: $result"
[ -f /var/lib/mailsignoff/mailqueue/mailqueue.db ] || fail "no queue in /var/lib/mailsignoff/mailqueue"
# SIGTERM stops the service's run at once, with status 0 (TimeoutStopSec=30).
$sudo "${as_service[@]}" /usr/bin/mailqueue --settings "$settings" run > "$out/run.log" 2>&1 &
run=$!
sleep 2
kill -0 $run 2>/dev/null || { cat "$out/run.log"; fail "mailqueue run ended by itself"; }
started=$SECONDS
$sudo kill -TERM $run
status=0
for _ in $(seq 1 300); do kill -0 $run 2>/dev/null || break; sleep 0.1; done
if kill -0 $run 2>/dev/null; then $sudo kill -KILL $run; fail "mailqueue run did not stop within 30 s of SIGTERM"; fi
wait $run || status=$?
[ $status -eq 0 ] || fail "mailqueue run ended with status $status after SIGTERM"
echo "ok: mailqueue run stopped $((SECONDS - started)) s after SIGTERM, status 0"

if [ -x /usr/bin/signgate ]; then
  step "signgate.service's user, folders and settings"
  getent passwd _signgate >/dev/null || fail "no user _signgate"
  id -nG _signgate | grep -qw mailsignoff || fail "_signgate is not in the group mailsignoff"
  [ "$(stat -c '%U:%G %a' /var/lib/mailsignoff/App)" = "root:mailsignoff 2775" ] || fail "/var/lib/mailsignoff/App: $(stat -c '%U:%G %a' /var/lib/mailsignoff/App)"
  gate_conf=/etc/mailsignoff/signgate.conf
  dpkg-query -W -f='${Conffiles}\n' mailsignoff-gate | grep -q " $gate_conf " || fail "$gate_conf is no conffile"
  socket=$(sed -n 's/^Socket=inet:\([0-9]*\)@\(.*\)$/\2 \1/p' "$gate_conf")
  $sudo setpriv --reuid=_signgate --regid=_signgate --init-groups /usr/bin/signgate --config "$gate_conf" > "$out/signgate.log" 2>&1 &
  gate=$!
  listening=0
  for _ in $(seq 1 100); do
    # shellcheck disable=SC2086
    (exec 3<>"/dev/tcp/${socket% *}/${socket#* }") 2>/dev/null && { listening=1; break; }
    kill -0 $gate 2>/dev/null || break
    sleep 0.1
  done
  [ $listening -eq 1 ] || { cat "$out/signgate.log"; $sudo kill -KILL $gate 2>/dev/null; fail "signgate does not listen on $socket"; }
  $sudo kill -TERM $gate
  for _ in $(seq 1 300); do kill -0 $gate 2>/dev/null || break; sleep 0.1; done
  if kill -0 $gate 2>/dev/null; then $sudo kill -KILL $gate; fail "signgate did not stop within 30 s of SIGTERM"; fi
  status=0
  wait $gate || status=$?
  [ $status -eq 0 ] || fail "signgate ended with status $status after SIGTERM"
  echo "ok: signgate listened on $socket as _signgate and stopped on SIGTERM"
fi

step "A host program builds against libpostwell-dev: find_package(Postwell)"
host=$out/host
mkdir -p "$host"
cat > "$host/CMakeLists.txt" <<'CMAKE'
cmake_minimum_required(VERSION 3.25)
project(host CXX)
set(CMAKE_CXX_STANDARD 20)
find_package(Postwell 1 REQUIRED)
add_executable(host main.cpp)
target_link_libraries(host PRIVATE Postwell::Postwell Postwell::Groundkit)
CMAKE
cat > "$host/main.cpp" <<'CPP'
#include <cstdio>
#include <string>

#include <groundkit/groundkit.h>
#include <postwell/mail_queue.h>

int main() {
  char domain[256] = "";
  BSCFEM_GetHostName("someone@example.org", domain);
  CMailMission mission;
  mission.SetMailTo("bob@example.org");
  std::printf("the domain of someone@example.org: %s\n", domain);
  return std::string(domain) == "example.org" ? 0 : 1;
}
CPP
(cmake -S "$host" -B "$host/build" -G Ninja && cmake --build "$host/build") > "$out/host.log" 2>&1 ||
  { cat "$out/host.log"; fail "a host program does not build against the installed libpostwell-dev"; }
"$host/build/host" || fail "the host program built against libpostwell-dev does not run"
readelf -d "$host/build/host" | grep -q 'libPostwell\.so\.1' || fail "the host program does not link libPostwell.so.1"

step "mailqueue submit and run --once deliver to the test Postfix"
export CI=${CI:-1}  # the test servers must start, not be skipped
scripts/peers/dovecot.sh start "$out/peers/dovecot" "$dovecot_port" > "$out/peers.log" 2>&1
peers_started=1
MAILSIGNOFF_DOVECOT_DIR=$out/peers/dovecot scripts/peers/postfix.sh start "$out/peers/postfix" "$postfix_port" >> "$out/peers.log" 2>&1
queue=$out/queue
mkdir -p "$queue"
# The installed settings, with a queue and spool of this check and the test Postfix's port; the
# sample delivery plug-in is named so that the queue loads it from the installed plug-in folder.
sed -e "s|^CnnStr=.*|CnnStr=Driver=SQLite3;Database=$queue/mailqueue.db|" -e "s|^Spool=.*|Spool=$queue/spool|" \
    -e "s|^SMTPPORT=25$|SMTPPORT=$postfix_port|" "$settings" > "$queue/mailqueue.ini"
printf '\n[Plug-in]\nLocalDelivery=LocalDelivery\nLocalDomains=local.invalid\n' >> "$queue/mailqueue.ini"
subject="package-test $(date +%s)-$$"
echo "Sent by the installed mailqueue." > "$queue/body.txt"
strace -f -qq -e trace=openat -o "$out/mailqueue.strace" \
  /usr/bin/mailqueue --settings "$queue/mailqueue.ini" submit --from package-test@example.org \
  --to alice@example.test --subject "$subject" --body-file "$queue/body.txt" > "$queue/submit.out"
grep -q -E '"/usr/lib/[^"]*/mailsignoff/libLocalDelivery\.so".* = [0-9]' "$out/mailqueue.strace" ||
  fail "the queue did not load libLocalDelivery.so from the installed plug-in folder"
result=$(/usr/bin/mailqueue --settings "$queue/mailqueue.ini" run --once)
[ "$result" = "1 sent, 0 rescheduled, 0 given up" ] || { /usr/bin/mailqueue --settings "$queue/mailqueue.ini" list; fail "run --once: $result"; }
delivered=""
for _ in $(seq 1 100); do
  delivered=$(grep -l -r -i -F "Subject: $subject" "$out/peers/dovecot/mail/alice" 2>/dev/null | head -1 || true)
  [ -n "$delivered" ] && break
  sleep 0.1
done
[ -n "$delivered" ] || fail "the message did not reach alice's mailbox"
echo "ok: $(cat "$queue/submit.out") delivered to ${delivered#"$repo"/}"
MAILSIGNOFF_DOVECOT_DIR=$out/peers/dovecot scripts/peers/postfix.sh stop "$out/peers/postfix" >/dev/null
scripts/peers/dovecot.sh stop "$out/peers/dovecot" >/dev/null
peers_started=0

step "The installed Signer runs the guided tour against the stand-in"
# The stand-in and the demo's setup program come from the package build tree (the stand-in is in
# no package); Signer is the installed one, in English, its files followed with strace.
DEMO_TOOLS=$tools DEMO_DIR=$out/demo DEMO_SMTP_PORT=10125 DEMO_POP3_PORT=10210 \
  DEMO_SIGNER="strace -f -qq -e trace=openat -o $out/signer.strace /usr/bin/Signer --language en" \
  scripts/demo.sh --xvfb > "$out/tour.log" 2>&1 || { cat "$out/tour.log"; fail "the guided tour"; }
grep -E '^(tour: done|  .*\.msg)' "$out/tour.log"
opened() { grep -E "openat\(AT_FDCWD, \"$1\".* = [0-9]" "$out/signer.strace" | head -1; }
opened '/usr/(bin/\.\./)?share/mailsignoff/translations/signer_en\.qm' | grep -q . || fail "Signer did not load signer_en.qm from /usr/share"
opened '/usr/lib/[^"]*/mailsignoff/libSorvane\.so' | grep -q . || fail "Signer did not load the decoding plug-in from the plug-in folder"
opened '/usr/share/icons/hicolor/[^"]*/mailsignoff-signer\.(png|svg)' | grep -q . || fail "Signer did not load its icon from the hicolor theme"
if grep -E "openat\(AT_FDCWD, \"$repo/build/[^\"]*/(bin|lib)/" "$out/signer.strace" | grep -v -F "$out/" | grep -q .; then
  fail "Signer opened files of the build tree: $(grep -E "\"$repo/build/[^\"]*/(bin|lib)/" "$out/signer.strace" | head -3)"
fi
echo "ok: translations, decoding plug-in and icon from the installed paths; pictures in ${out#"$repo"/}/demo"

step "vetrule finds its English texts"
QT_QPA_PLATFORM=offscreen strace -f -qq -e trace=openat -o "$out/vetrule.strace" \
  /usr/bin/vetrule --language en --version > "$out/vetrule.log" 2>&1 || { cat "$out/vetrule.log"; fail "vetrule --version"; }
grep -q -E '"/usr/(bin/\.\./)?share/mailsignoff/translations/vetrule_en\.qm".* = [0-9]' "$out/vetrule.strace" ||
  fail "vetrule did not load vetrule_en.qm from /usr/share"
! grep -q 'missing' "$out/vetrule.log" || fail "vetrule: $(cat "$out/vetrule.log")"
echo "ok: $(grep -m1 '^vetrule ' "$out/vetrule.log")"

step "apt-get purge"
$sudo apt-get purge -y "${packages[@]}" > "$out/purge.log" 2>&1 || { cat "$out/purge.log"; fail "apt-get purge"; }
installed=0
for p in "${packages[@]}"; do
  ! dpkg-query -W -f='${Status}\n' "$p" 2>/dev/null | grep -q -v 'not-installed' || fail "$p is still known to dpkg: $(dpkg-query -W -f='${Status}' "$p")"
done
snapshot > "$out/after.txt"
left=$(comm -13 "$out/before.txt" "$out/after.txt")
gone=$(comm -23 "$out/before.txt" "$out/after.txt")
[ -z "$gone" ] || echo "removed although there before: $gone"
[ -z "$left" ] || fail "left behind by the purge: $left"
kept=""
for user in _mailqueue _signgate; do
  if getent passwd "$user" >/dev/null; then kept+=" $user"; fi
done
echo "ok: nothing left behind${kept:+ but the system users$kept (Debian keeps system users: files they own may remain elsewhere)}"
