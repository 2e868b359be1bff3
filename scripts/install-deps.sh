#!/usr/bin/env bash
# Installs with apt-get whatever the build, the tests, the test servers and the packages (scdoc,
# rsvg-convert, dpkg-shlibdeps, lintian, desktop-file-validate, man, systemd-analyze) need and is missing.
set -euo pipefail

packages=(
  cmake ninja-build g++ clang libclang-rt-14-dev pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  qt6-base-dev libglib2.0-dev fonts-wqy-microhei xvfb xauth imagemagick
  qt6-tools-dev qt6-l10n-tools qt6-translations-l10n
  libssl-dev libc-ares-dev unixodbc-dev libsqliteodbc odbc-postgresql libgmime-3.0-dev
  curl strace dovecot-pop3d dnsutils dnsmasq-base postgresql postfix
  libcups2-dev cups-daemon cups-client gvfs dbus
  libmilter-dev
  g++-mingw-w64-x86-64-posix wine wine64
  scdoc librsvg2-bin dpkg-dev file xz-utils
  lintian desktop-file-utils man-db systemd
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
# Postfix asks how to configure the system's mail; the tests run their own instance.
echo "postfix postfix/main_mailer_type select No configuration" | $sudo debconf-set-selections
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
