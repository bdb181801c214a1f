#!/usr/bin/env bash
# Benchmarks: ours (build-bench/bench/*_bench), then the outside peers of shared/peers on the
# same machine in the same run, so figures can be quoted as ratios.
#   scripts/bench.sh            everything
#   scripts/bench.sh ours       only our benchmarks
# Env: PEERS_DIR (default ../shared/peers beside the repository), BENCH_OUT (default build-bench/results)
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
source "$ROOT/scripts/lib.sh"
source "$ROOT/scripts/pg.sh"
OUT=${BENCH_OUT:-$ROOT/build-bench/results}
PEERS=${PEERS_DIR:-$ROOT/../shared/peers}
mkdir -p "$OUT"

pg_start            # gettabelas_bench runs on PostgreSQL too
trap pg_stop EXIT

echo "== our benchmarks (results in $OUT)"
shopt -s nullglob
for b in "$ROOT"/build-bench/bench/*_bench; do
  name=$(basename "$b")
  echo "-- $name"
  "$b" 2>&1 | tee "$OUT/$name.txt"
done

if [ "${1:-all}" != ours ] && [ -f "$PEERS/run.sh" ]; then
  echo "== peers ($PEERS)"
  install_packages fp-compiler fp-units-db libpalm-perl time hyperfine gcc python3
  WORK="$ROOT/build-bench/peers" RESULTS="$OUT/peers" bash "$PEERS/run.sh" ${PEER_ROWS:-10000 65535 500000}
fi
