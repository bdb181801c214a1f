#!/usr/bin/env bash
# The main job on the embedded default: a demo central kitchen in a SQLite file, the
# application server on a loopback port, a demo workstation (configuration, registry file,
# drive C:, HotSync user "Palm 01", the eeePC "NOTE-KITCHEN-01"), then the batch export to
# Palm 001 and to eeePC 002, the Palm's install queue and one file as support staff see it.
#   scripts/demo.sh [OUT]      (default demo/out)
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
OUT=${1:-$ROOT/demo/out}
BIN=${KVE_BIN:-$ROOT/build/apps}
source "$ROOT/scripts/lib.sh"
mkdir -p "$OUT"
OUT=$(cd "$OUT" && pwd)
DB="sqlite:$OUT/kve-demo.db"
SITE="$OUT/site"

echo "== demo central kitchen in $DB"
"$BIN/kve-demo-data" --db "$DB" --replace

start_appserver "$DB" "$OUT/appserver.log"
PORT=$APPSERVER_PORT
echo "== application server on 127.0.0.1:$PORT (log: $OUT/appserver.log)"

echo "== demo workstation"
"$BIN/kve-demo" --site "$SITE" --db "$DB" --server "127.0.0.1:$PORT"

# The demo data runs from the first day of the previous month to the last of this one.
DATES=(--menu today:today+4 --requests today-30:today --af today-30:today+30)

echo
echo "== kve-export --palm 001 (every branch, the whole product tree)"
"$BIN/kve-export" --config "$SITE/kve.toml" --palm 001 "${DATES[@]}" --whole-tree --yes

echo
echo "== kve-export --eeepc 002 (nutritionist 7's branches, active products)"
"$BIN/kve-export" --config "$SITE/kve.toml" --eeepc 002 --nutritionist 7 "${DATES[@]}" \
  --active-only

echo
echo "== the HotSync install queue, as support staff would list it"
"$BIN/kve-hotsync" --config "$SITE/kve.toml" list

echo
echo "== one Palm database, as support staff would inspect it"
"$BIN/kve-inspect" --head 3 "$SITE/drive_c/Palm/Kve/Exp/PRODUTO.pdb"
