#!/usr/bin/env bash
# The application server under hostile and heavy load: slow clients against normal calls,
# keep-alive against a new connection per call, concurrent exports with history writes on
# SQLite and PostgreSQL, the server's memory per export (JSON, then images as frames) and what
# it holds after twelve. One table of figures.
#
#   scripts/server_load.sh                 servers of build/apps, demo scale 100
#   KVE_BIN=/some/bin scripts/server_load.sh   another build's kve-appserver and kve-demo-data
#   SCALE=20 scripts/server_load.sh        a smaller demo database (quicker)
#   CASES=postgresql scripts/server_load.sh    one engine only (sqlite, postgresql)
#
# The load client comes from build/bench (cmake --build build --target load_client). The
# demo databases are made once per scale and kept in build/server-load/ (delete to remake).
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
source "$ROOT/scripts/pg.sh"
BIN=${KVE_BIN:-$ROOT/build/apps}
CLIENT=${LOAD_CLIENT:-$ROOT/build/bench/load_client}
SCALE=${SCALE:-100}
WORK=$ROOT/build/server-load
mkdir -p "$WORK"
[ -x "$CLIENT" ] || { echo "server_load: build the load client first (target load_client)" >&2; exit 1; }

source "$ROOT/scripts/lib.sh"
APPSERVER_ON_EXIT=pg_stop
trap pg_stop EXIT

# start_server URL: a server on a free port; sets PORT and SERVER_PID.
start_server() {
  start_appserver "$1" "$WORK/server.log"
  PORT=$APPSERVER_PORT
  SERVER_PID=$APPSERVER_PID
}

sqlite_db=$WORK/demo-$SCALE.db
if [ ! -f "$sqlite_db" ]; then
  echo "== making the demo database (scale $SCALE) on SQLite"
  "$BIN/kve-demo-data" --db "sqlite:$sqlite_db" --scale "$SCALE" --today 2026-12-07 >/dev/null
fi

rows=()
run() { local line; line=$("$CLIENT" "$@" --port "$PORT"); echo "$line"; rows+=("$line"); }
# The server's resident set now, after the calls so far (memory it holds, not a peak): in all,
# its own (anonymous) and the database file's pages it maps (the kernel's page cache).
held() {
  local line
  line="held after $1 exports: $(awk '/^VmRSS/ {r = $2} /^RssAnon/ {a = $2} /^RssFile/ {f = $2}
    END {printf "server_rss_MB=%d anon_MB=%d file_MB=%d", r / 1024, a / 1024, f / 1024}' /proc/"$SERVER_PID"/status)"
  echo "$line"; rows+=("$line")
}

CASES=${CASES:-sqlite postgresql}
if [[ " $CASES " == *" sqlite "* ]]; then
echo "== SQLite, demo scale $SCALE"
start_server "sqlite:$sqlite_db"
run latency --calls 50
run latency --calls 50 --slow 64
run throughput --clients 32 --seconds 5
run throughput --clients 32 --seconds 5 --keepalive
run exports --calls 6 --ins-rate 100 --pid "$SERVER_PID"
run exports --calls 6 --ins-rate 0 --frames --pid "$SERVER_PID"
held 12
stop_appserver
fi

[[ " $CASES " == *" postgresql "* ]] && pg_start
if [ -n "${KVE_TEST_PG_URL:-}" ]; then
  echo "== PostgreSQL, demo scale $SCALE"
  "$BIN/kve-demo-data" --db "$KVE_TEST_PG_URL" --scale "$SCALE" --today 2026-12-07 >/dev/null
  start_server "$KVE_TEST_PG_URL"
  run exports --calls 6 --ins-rate 100 --pid "$SERVER_PID"
  run exports --calls 6 --ins-rate 0 --frames --pid "$SERVER_PID"
  held 12
  stop_appserver
fi

echo
echo "== summary ($BIN)"
printf '%s\n' "${rows[@]}"
