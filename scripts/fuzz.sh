#!/usr/bin/env bash
# Run each fuzzer of build-asan for SECONDS (default 20) from its committed seed corpus.
# A longer hunt: scripts/fuzz.sh 3600   (new inputs go to build-asan/fuzz-corpus/NAME).
# An input may cost at most 1 GB of memory, 256 MB in one allocation and 10 seconds: a reader
# whose cost is out of proportion to its input is a finding like a crash.
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
secs=${1:-20}
shopt -s nullglob
for bin in "$ROOT"/build-asan/fuzz/*_fuzz; do
  name=$(basename "$bin" _fuzz)
  work="$ROOT/build-asan/fuzz-corpus/$name"
  mkdir -p "$work"
  echo "-- $name"
  "$bin" -max_total_time="$secs" -rss_limit_mb=1024 -malloc_limit_mb=256 -timeout=10 -max_len=65536 -print_final_stats=0 \
    "$work" "$ROOT/fuzz/corpus/$name" 2>&1 | tail -n 3
done
