#!/usr/bin/env bash
# Runs every built fuzz target for a bounded time each; a crash, a leak or a
# sanitizer report fails the run. Seeds come from fuzz/<area>/corpus/<target>
# when present.
set -euo pipefail
build=${1:-build/fuzz}
seconds=${2:-20}
fail=0
n=0
for f in "$build"/fuzzers/*; do
  [ -x "$f" ] || continue
  name=$(basename "$f")
  corpus=$(mktemp -d)
  for seeds in fuzz/*/corpus/"$name"; do
    [ -d "$seeds" ] && cp -r "$seeds"/. "$corpus"/
  done
  echo "fuzz: $name for ${seconds}s"
  if ! "$f" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=0 "$corpus" >"$corpus.log" 2>&1; then
    echo "FAIL: $name"; tail -40 "$corpus.log"; fail=$((fail + 1))
  fi
  n=$((n + 1))
  rm -rf "$corpus" "$corpus.log"
done
echo "fuzz: $((n - fail)) passed, $fail failed"
[ "$fail" -eq 0 ]
