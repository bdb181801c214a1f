#!/usr/bin/env bash
# Benchmarks: the outside peers of shared/peers, then ours (build-bench/bench/*_bench) on the
# same machine in the same run, so figures can be quoted as ratios.
#   scripts/bench.sh            everything
#   scripts/bench.sh ours       only our benchmarks
# Env: PEERS_DIR (default ../shared/peers beside the repository), BENCH_OUT (default
# build-bench/results), PEER_ROWS (default "10000 65535 500000"), BENCH_PLOTS (where the plots
# go, default docs/bench: the README links them).
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
source "$ROOT/scripts/lib.sh"
source "$ROOT/scripts/pg.sh"
OUT=${BENCH_OUT:-$ROOT/build-bench/results}
PEERS=${PEERS_DIR:-$ROOT/../shared/peers}
PEER_WORK=$ROOT/build-bench/peers
mkdir -p "$OUT" "$PEER_WORK"

if [ "${1:-all}" != ours ] && [ -f "$PEERS/run.sh" ]; then
  echo "== peers ($PEERS; table in $OUT/peers/results.md)"
  install_packages fp-compiler fp-units-db libpalm-perl time hyperfine gcc python3
  WORK="$PEER_WORK" RESULTS="$OUT/peers" bash "$PEERS/run.sh" ${PEER_ROWS:-10000 65535 500000}
fi

install_packages sqlite3 postgresql-client  # sql_floor_bench's floors: the engines' own shells
pg_start            # gettabelas_bench and sql_floor_bench run on PostgreSQL too
trap pg_stop EXIT

# The Palm benchmark times the Perl peer itself on the peers' own 65,535-row table.
pdb_args=()
if [ -f "$PEERS/pdbpeer.pl" ] && perl -MPalm::PDB -e1 2>/dev/null; then
  tsv=$PEER_WORK/prevreti-65535.tsv
  [ -f "$tsv" ] || python3 "$PEERS/gen.py" 65535 "$tsv"
  pdb_args=(--tsv "$tsv" --peer "$PEERS/pdbpeer.pl")
fi

echo "== our benchmarks (results in $OUT)"
shopt -s nullglob
for b in "$ROOT"/build-bench/bench/*_bench; do
  name=$(basename "$b")
  args=()
  [ "$name" = pdb_bench ] && args=("${pdb_args[@]}")
  echo "-- $name"
  "$b" "${args[@]}" 2>&1 | tee "$OUT/$name.txt"
done

# The window during an export needs the Qt view, which the optimised build above leaves out:
# a Qt build of its own, that one benchmark alone, rendered offscreen.
echo "-- gui_export_bench (the GUI thread's longest gap during a scale-100 export)"
if cmake -S "$ROOT" -B "$ROOT/build-bench-gui" -DCMAKE_BUILD_TYPE=Release -DKVE_WITH_QT=ON >/dev/null &&
   cmake --build "$ROOT/build-bench-gui" -j "${JOBS:-2}" --target gui_export_bench >/dev/null &&
   [ -x "$ROOT/build-bench-gui/bench/gui_export_bench" ]; then
  QT_QPA_PLATFORM=offscreen "$ROOT/build-bench-gui/bench/gui_export_bench" 2>&1 | tee "$OUT/gui_export_bench.txt"
else
  echo "gui_export_bench not built (Qt 6 missing? Debian: qt6-base-dev)" >&2
fi

echo "-- smb_bench (the eeePC export over SMB against a real Samba; root only)"
BENCH_OUT="$OUT" KVE_BIN="$ROOT/build-bench/apps" bash "$ROOT/scripts/smb_bench.sh" || echo "smb_bench failed" >&2

echo "== plots"
python3 "$ROOT/scripts/bench_plots.py" "$OUT" "${BENCH_PLOTS:-$ROOT/docs/bench}"
