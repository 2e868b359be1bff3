#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a bounded time (FUZZ_SECONDS, 20 by
# default) on its seed corpus. A finding fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${FUZZ_SECONDS:-20}

[ -d fuzz ] && [ -f fuzz/CMakeLists.txt ] || { echo "no fuzz targets"; exit 0; }
cmake --preset fuzz >/dev/null
# Only the fuzz targets and what they link: the rest of the tree is not needed for fuzzing.
cmake --build --preset fuzz --target fuzzers
failed=0
for target in build/fuzz/bin/fuzz_*; do
  name=$(basename "$target")
  corpus=$(mktemp -d)
  seeds="fuzz/seeds/${name#fuzz_}"
  [ -d "$seeds" ] && cp -r "$seeds"/. "$corpus"/
  echo "== $name for ${seconds}s"
  # An input that takes more than a few seconds is a finding too: a parser that hangs.
  if ! "$target" -max_total_time="$seconds" -timeout=10 -max_len=8192 -print_final_stats=0 "$corpus" \
        -artifact_prefix="build/fuzz/$name-" > "build/fuzz/$name.log" 2>&1; then
    echo "FINDING in $name:"; tail -40 "build/fuzz/$name.log"; failed=1
  else
    grep -E "^#[0-9]+.*(DONE|pulse)" "build/fuzz/$name.log" | tail -1 || true
  fi
  rm -rf "$corpus"
done
exit $failed
