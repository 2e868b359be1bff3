#!/usr/bin/env bash
# The whole test run, as on a fresh machine: install what is missing, configure, build, run the fuzz
# targets for a short while, then every test (the test servers are started and stopped by the
# tests' own fixtures), then the Windows build and its tests under Wine, then the Debian packages:
# built once, installed, checked and purged again (scripts/package-test.sh).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake --preset dev
cmake --build --preset dev
scripts/fuzz.sh
status=0
(cd build/dev && ctest --timeout 600 -j2 --output-on-failure) || status=$?
scripts/windows-test.sh || status=$?
scripts/package-test.sh || status=$?
exit $status
