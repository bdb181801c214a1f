#!/usr/bin/env bash
# Several application servers on one PostgreSQL behind HAProxy, all on loopback: the
# deployment of docs/deploy.md, run and measured on this machine.
#
#   scripts/cluster.sh              build/apps servers, 16 clients, 10 s per case
#   CLIENTS=32 SECONDS_PER_CASE=20 scripts/cluster.sh
#
# Cases, each a line of figures (cluster_client, the workstations' own link):
#   1 server    InsHistPalm calls/s through the proxy with one server behind it
#   2 servers   the same with two
#   failover    two servers, one killed with SIGKILL half-way: every call must be answered
#               (the proxy and the link retry through the other), and every acknowledged
#               history row must be stored exactly once
# Needs haproxy (installed as root when missing) and build/bench/cluster_client (cmake
# --build build --target cluster_client kve-appserver).
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
source "$ROOT/scripts/lib.sh"
source "$ROOT/scripts/pg.sh"
BIN=${KVE_BIN:-$ROOT/build/apps}
CLIENT=${CLUSTER_CLIENT:-$ROOT/build/bench/cluster_client}
CLIENTS=${CLIENTS:-16}
SECS=${SECONDS_PER_CASE:-10}
[ -x "$CLIENT" ] || { echo "cluster: build the client first (target cluster_client)" >&2; exit 1; }
install_packages haproxy
command -v haproxy >/dev/null || { echo "cluster: haproxy is not installed" >&2; exit 1; }

WORK=$(mktemp -d "${TMPDIR:-/tmp}/kve-cluster-XXXXXX")
PIDS=()
cleanup() {
  local p
  for p in "${PIDS[@]}"; do kill -TERM "$p" 2>/dev/null || true; done
  for p in "${PIDS[@]}"; do wait "$p" 2>/dev/null || true; done
  pg_stop
  rm -rf "$WORK"
}
trap cleanup EXIT

pg_start
DB=$KVE_TEST_PG_URL
"$BIN/kve-demo-data" --db "$DB" --schema-only >/dev/null

free_port() { python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'; }

# start_server N: kve-appserver number N on a free port; sets SERVER_PORT[N], SERVER_PID[N].
declare -A SERVER_PORT SERVER_PID
start_server() {
  local n=$1 log=$WORK/server$1.log port
  "$BIN/kve-appserver" --db "$DB" --listen 127.0.0.1:0 >"$log" 2>&1 &
  SERVER_PID[$n]=$!
  PIDS+=("${SERVER_PID[$n]}")
  for _ in $(seq 100); do
    port=$(sed -n 's/.*serving Kve07000\.rdmExpDados on .*:\([0-9][0-9]*\).*/\1/p' "$log" | head -n 1)
    if [ -n "$port" ]; then SERVER_PORT[$n]=$port; return 0; fi
    sleep 0.1
  done
  echo "cluster: server $n did not start:" >&2; tail -n 20 "$log" >&2; return 1
}

# start_proxy N...: HAProxy in front of the servers named; sets PROXY_PORT and PROXY_PID.
start_proxy() {
  PROXY_PORT=$(free_port)
  local cfg=$WORK/haproxy.cfg n
  cat >"$cfg" <<EOF
global
  maxconn 4096
defaults
  mode http
  timeout connect 2s
  timeout client 60s
  timeout server 60s
  # A server that dies under a call: the call goes to another one. Safe here: every call
  # either only reads or carries an idempotency key.
  retries 3
  option redispatch 1
  retry-on all-retryable-errors
frontend kve
  bind 127.0.0.1:$PROXY_PORT
  default_backend appservers
backend appservers
  balance roundrobin
  option httpchk GET /healthz
  http-check expect status 200
EOF
  for n in "$@"; do
    echo "  server s$n 127.0.0.1:${SERVER_PORT[$n]} check inter 500ms fall 2 rise 2" >>"$cfg"
  done
  haproxy -f "$cfg" -db >"$WORK/haproxy.log" 2>&1 &
  PROXY_PID=$!
  PIDS+=("$PROXY_PID")
  for _ in $(seq 50); do
    curl -sf "http://127.0.0.1:$PROXY_PORT/healthz" >/dev/null 2>&1 && return 0
    sleep 0.1
  done
  echo "cluster: haproxy did not start:" >&2; cat "$WORK/haproxy.log" >&2; return 1
}
stop_proxy() { kill -TERM "$PROXY_PID" 2>/dev/null || true; wait "$PROXY_PID" 2>/dev/null || true; }

rows=()
start_server 1
start_server 2

start_proxy 1
line=$("$CLIENT" --port "$PROXY_PORT" --clients "$CLIENTS" --seconds "$SECS" --device C01)
rows+=("1 server:  $line"); echo "${rows[-1]}"
stop_proxy

start_proxy 1 2
line=$("$CLIENT" --port "$PROXY_PORT" --clients "$CLIENTS" --seconds "$SECS" --device C02)
rows+=("2 servers: $line"); echo "${rows[-1]}"

# Failover: server 2 is killed half-way through the load.
( sleep "$(( SECS / 2 ))"; kill -KILL "${SERVER_PID[2]}" ) &
killer=$!
status=0
line=$("$CLIENT" --port "$PROXY_PORT" --clients "$CLIENTS" --seconds "$SECS" --device C03 --acked "$WORK/acked.txt") || status=$?
wait "$killer" || true
rows+=("failover:  $line"); echo "${rows[-1]}"
psql "$DB" -Atc "SELECT DSHISTPALM FROM HISTPALM WHERE CDPALM = 'C03'" >"$WORK/stored.txt"
acked=$(wc -l <"$WORK/acked.txt")
twice=$(sort "$WORK/stored.txt" | uniq -d | wc -l)
missing=$(comm -23 <(sort "$WORK/acked.txt") <(sort -u "$WORK/stored.txt") | wc -l)
rows+=("failover:  acknowledged=$acked stored_twice=$twice acknowledged_but_missing=$missing")
echo "${rows[-1]}"

echo
echo "== cluster figures (PostgreSQL, HAProxy, $CLIENTS clients, ${SECS} s per case)"
printf '%s\n' "${rows[@]}"
if [ "$status" -ne 0 ] || [ "$twice" -ne 0 ] || [ "$missing" -ne 0 ]; then
  echo "cluster: FAILED: a call went unanswered, or a history row is missing or doubled" >&2
  exit 1
fi
echo "cluster: every call answered, every acknowledged row stored exactly once"
