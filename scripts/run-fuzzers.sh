#!/usr/bin/env bash
# Runs every fuzz_* binary of a fuzz build for a fixed time from its seed corpus.
# Usage: scripts/run-fuzzers.sh BUILD_DIR SECONDS
set -euo pipefail
cd "$(dirname "$0")/.."
dir=$1; seconds=$2
status=0
for bin in "$dir"/tests/fuzz/fuzz_*; do
  [ -f "$bin" ] && [ -x "$bin" ] || continue
  name=$(basename "$bin")
  corpus=$(mktemp -d)
  [ -d "tests/fuzz/corpus/$name" ] && cp -r "tests/fuzz/corpus/$name/." "$corpus/"
  echo "fuzz: $name for ${seconds}s"
  if ! "$bin" -max_total_time="$seconds" -timeout=5 -rss_limit_mb=2048 -print_final_stats=1 "$corpus" 2>"$corpus.log"; then
    tail -40 "$corpus.log"; status=1
  else
    grep -E 'stat::number_of_executed_units' "$corpus.log" || true
  fi
  rm -rf "$corpus" "$corpus.log"
done
if [ $status -eq 0 ]; then echo "1 passed, 0 failed"; else echo "0 passed, 1 failed"; fi
exit $status
