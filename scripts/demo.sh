#!/usr/bin/env bash
# The demo on the embedded default: a demo central kitchen in a SQLite file, the application
# server on a loopback port, and the export's tables fetched, written and converted.
#   scripts/demo.sh [OUT]      (default demo/out)
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
OUT=${1:-$ROOT/demo/out}
BIN=${KVE_BIN:-$ROOT/build/apps}
mkdir -p "$OUT"
DB="sqlite:$OUT/kve-demo.db"

echo "== data packets"
"$BIN/kve-demo" --out "$OUT" --rows 1000 >/dev/null
"$BIN/kve-demo" --out "$OUT" --rows 1000 | head -n 2

echo "== demo central kitchen in $DB"
"$BIN/kve-demo-data" --db "$DB" --replace

PORT=$(( 30000 + RANDOM % 20000 ))
"$BIN/kve-appserver" --db "$DB" --listen "127.0.0.1:$PORT" >"$OUT/appserver.log" 2>&1 &
SERVER=$!
trap 'kill $SERVER 2>/dev/null || true; wait $SERVER 2>/dev/null || true' EXIT
for _ in $(seq 50); do
  (exec 3<>"/dev/tcp/127.0.0.1/$PORT") 2>/dev/null && break
  sleep 0.1
done
echo "== application server on 127.0.0.1:$PORT (log: $OUT/appserver.log)"

"$BIN/kve-demo" --out "$OUT" --rows 1000 --server "127.0.0.1:$PORT" | sed -n '/GetTabelas/,$p'

echo "== one Palm database, as support staff would inspect it"
"$BIN/kve-inspect" --head 3 "$OUT/palm/PRODUTO.pdb"
