#!/usr/bin/env bash
# Runs every fuzz target of build/fuzz for a bounded time on a copy of its
# committed corpus (the repository is not modified). Any finding (crash,
# sanitizer report, broken promise, timeout, memory blow-up) fails the run;
# its input is kept under the printed folder.
#   tests/fuzz/run_fuzz.sh [seconds per target, default 35] [build dir]
set -euo pipefail
cd "$(dirname "$0")/../.."
seconds=${1:-35}
bin=${2:-build/fuzz}/tests/fuzz
work=$(mktemp -d /tmp/lzhfuzz-run.XXXXXX)
status=0
for target in header run huffman lh5; do
  mkdir -p "$work/$target/corpus" "$work/$target/findings"
  cp tests/fuzz/corpus/$target/* "$work/$target/corpus/" 2>/dev/null || true
  echo "== fuzz_$target for ${seconds}s"
  if ! nice -n 10 "$bin/fuzz_$target" -dict=tests/fuzz/lzh.dict \
      -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
      -artifact_prefix="$work/$target/findings/" -print_final_stats=1 \
      "$work/$target/corpus" > "$work/$target/log" 2>&1; then
    echo "fuzz_$target found a fault; see $work/$target/log and findings/"
    tail -30 "$work/$target/log"
    status=1
    continue
  fi
  grep -E '^(Done|stat::number_of_executed_units)' "$work/$target/log" || true
  grep -E 'DONE' "$work/$target/log" | tail -1 || true
done
[ "$status" -eq 0 ] && rm -rf "$work"
exit "$status"
