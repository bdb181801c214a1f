#!/usr/bin/env bash
# The eeePC export over SMB on loopback, as kve-export runs it, beside (a) the same export
# into a local folder and (b) the floor: smbclient putting the very files the export wrote
# into the same share with one "mput". Then the time the share check takes to give up on an
# eeePC whose port takes the connection and never answers, against its timeout_s.
#   scripts/smb_bench.sh            (root: it starts a throw-away Samba, scripts/smb.sh)
# Beside the whole export, the staged file set alone (bench/smb_staged_bench: the export's
# files written over SMB as the export writes them, then summed up as its summary does, and
# read back whole for comparison), alternated with the mput, so that the copy's own cost is
# seen without the export's work.
# Env: SMB_BENCH_SCALE (demo scale, default 100), SMB_BENCH_RUNS (default 5),
#      SMB_BENCH_TIMEOUT (timeout_s of the silent-host case, default 3),
#      KVE_BIN (default build-bench/apps), KVE_BENCH_BIN (default: bench/ beside KVE_BIN),
#      BENCH_OUT (default build-bench/results).
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
source "$ROOT/scripts/lib.sh"
source "$ROOT/scripts/smb.sh"
BIN=${KVE_BIN:-$ROOT/build-bench/apps}
BENCH_BIN=${KVE_BENCH_BIN:-$(dirname "$BIN")/bench}
export KVE_BIN=$BIN
SCALE=${SMB_BENCH_SCALE:-100}
RUNS=${SMB_BENCH_RUNS:-5}
SILENT_TIMEOUT=${SMB_BENCH_TIMEOUT:-3}
OUT=${BENCH_OUT:-$ROOT/build-bench/results}
mkdir -p "$OUT"

if [ "$(id -u)" -ne 0 ]; then
  echo "smb_bench: not root; skipped (smbd must start as root)" >&2
  exit 0
fi
install_packages smbclient python3
W=$(mktemp -d /tmp/kve-smb-bench.XXXXXX)
SILENT_PID=
cleanup() {
  [ -n "$SILENT_PID" ] && kill "$SILENT_PID" 2>/dev/null || true
  stop_appserver
  smb_stop
  rm -rf "$W"
}
APPSERVER_ON_EXIT=cleanup
# Until the application server's trap takes over (it runs cleanup too): a run that fails before
# it starts must not leave Samba running and its share mounted.
trap cleanup EXIT
export SMB_SHARE_SIZE=${SMB_SHARE_SIZE:-2g}  # the export, its staged copy and the floor's copy
smb_start
[ -n "${KVE_TEST_SMB_URL:-}" ] || { echo "smb_bench: no Samba server; skipped" >&2; exit 0; }

DB="sqlite:$W/demo.db"
echo "== demo at scale $SCALE"
"$BIN/kve-demo-data" --db "$DB" --scale "$SCALE" --replace >/dev/null
start_appserver "$DB" "$W/appserver.log"   # its EXIT trap runs cleanup as well
"$BIN/kve-demo" --site "$W/site" --db "$DB" --server "127.0.0.1:$APPSERVER_PORT" >/dev/null

# The same workstation with the shares over SMB: NOTE-KITCHEN-01 (eeePC 002) is the Samba
# server on loopback.
smb_config() {  # PORT TIMEOUT -> the configuration file's path
  local file=$W/site/kve-smb-$1.toml
  sed 's|^shares = .*|shares = "smb://"|' "$W/site/kve.toml" >"$file"
  cat >>"$file" <<EOF

[smb]
credentials_file = "$KVE_TEST_SMB_CREDENTIALS"
port = $1
timeout_s = $2
[smb.hosts]
"NOTE-KITCHEN-01" = "127.0.0.1"
EOF
  echo "$file"
}
SMB_CONFIG=$(smb_config "$KVE_TEST_SMB_PORT" 10)
LOCAL_EXP="$W/site/shares/NOTE-KITCHEN-01/Orvanta Web/EeePc/Kve/Exp"

# smbclient reads its own authentication file format ("name = value").
AUTH=$W/smbclient.auth
( umask 077; sed 's/=/ = /' "$KVE_TEST_SMB_CREDENTIALS" >"$AUTH" )

DATES=(--menu today:today+4 --requests today-30:today --af today-30:today+30)
export_ms() {  # CONFIG -> milliseconds of one eeePC 002 export
  local t0 t1
  t0=$(date +%s%N)
  "$BIN/kve-export" --config "$1" --eeepc 002 "${DATES[@]}" --whole-tree --yes >"$W/export.log" 2>&1 ||
    { echo "smb_bench: the export failed:" >&2; cat "$W/export.log" >&2; exit 1; }
  t1=$(date +%s%N)
  echo $(( (t1 - t0) / 1000000 ))
}
mput_ms() {  # the export's files, put into the share's folder "floor" by smbclient
  local t0 t1
  rm -rf "$KVE_TEST_SMB_SHARE_DIR/floor"
  sync
  t0=$(date +%s%N)
  smbclient "//127.0.0.1/Orvanta Web" -p "$KVE_TEST_SMB_PORT" -A "$AUTH" -m SMB3 \
    -c "mkdir floor; cd floor; lcd \"$LOCAL_EXP\"; prompt off; mput *" >"$W/mput.log" 2>&1 ||
    { echo "smb_bench: smbclient failed:" >&2; cat "$W/mput.log" >&2; exit 1; }
  t1=$(date +%s%N)
  echo $(( (t1 - t0) / 1000000 ))
}
median() { sort -n | awk '{v[NR]=$1} END {print v[int((NR+1)/2)]}'; }
span() { sort -n | awk 'NR==1 {lo=$1} {hi=$1} END {print lo "-" hi}'; }  # min-max
load() { cut -d' ' -f1-3 /proc/loadavg; }

echo "== warm-up: one export each way (the client program is deployed on the first)"
export_ms "$W/site/kve.toml" >/dev/null
export_ms "$SMB_CONFIG" >/dev/null
files=$(ls "$LOCAL_EXP" | wc -l)
mb=$(du -sm "$LOCAL_EXP" | cut -f1)

LOAD_BEFORE=$(load)
: >"$W/local"; : >"$W/smb"; : >"$W/mput"; : >"$W/staged"; : >"$W/summary"; : >"$W/readback"
for r in $(seq "$RUNS"); do
  sync
  l=$(export_ms "$W/site/kve.toml"); echo "$l" >>"$W/local"
  sync
  s=$(export_ms "$SMB_CONFIG"); echo "$s" >>"$W/smb"
  m=$(mput_ms); echo "$m" >>"$W/mput"
  read -r st sm rb < <("$BENCH_BIN/smb_staged_bench" "$LOCAL_EXP")
  echo "$st" >>"$W/staged"; echo "$sm" >>"$W/summary"; echo "$rb" >>"$W/readback"
  echo "run $r: export to a local folder $l ms, over SMB $s ms; smbclient mput of the same $files files ($mb MB) $m ms;" \
       "staged set alone $st ms, its summary $sm ms, read back whole $rb ms"
done
L=$(median <"$W/local"); S=$(median <"$W/smb"); M=$(median <"$W/mput")
LOAD_AFTER=$(load)
ST=$(median <"$W/staged"); SM=$(median <"$W/summary"); RB=$(median <"$W/readback")

# A host that takes the connection and never answers.
SILENT_PORT=$(smb_free_port)
python3 -c "import socket,time
s=socket.socket(); s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
s.bind(('127.0.0.1', $SILENT_PORT)); s.listen(16); time.sleep(3600)" &
SILENT_PID=$!
# Until it listens: a refused connection fails at once and would time nothing.
for _ in $(seq 100); do
  (exec 3<>"/dev/tcp/127.0.0.1/$SILENT_PORT") 2>/dev/null && break
  sleep 0.1
done
SILENT_CONFIG=$(smb_config "$SILENT_PORT" "$SILENT_TIMEOUT")
t0=$(date +%s%N)
rc=0
"$BIN/kve-export" --config "$SILENT_CONFIG" --eeepc 002 "${DATES[@]}" --whole-tree --yes >"$W/silent.log" 2>&1 || rc=$?
t1=$(date +%s%N)
SILENT_MS=$(( (t1 - t0) / 1000000 ))
grep -q "compartilhado" "$W/silent.log" ||
  { echo "smb_bench: the silent host did not get the share message:" >&2; cat "$W/silent.log" >&2; exit 1; }

{
  echo "eeePC export at demo scale $SCALE ($files files, $mb MB), median of $RUNS, alternated" \
       "(load average $LOAD_BEFORE before, $LOAD_AFTER after):"
  echo "  min-max: local $(span <"$W/local") ms, SMB $(span <"$W/smb") ms, mput $(span <"$W/mput") ms," \
       "staged set $(span <"$W/staged") ms, its summary $(span <"$W/summary") ms"
  echo "  into a local folder: $L ms; over SMB on loopback: $S ms = $(awk "BEGIN{printf \"%.2f\", $S/$L}")x"
  echo "  SMB's share of the export (SMB - local): $((S - L)) ms; smbclient mput of the same files: $M ms" \
       "= $(awk "BEGIN{printf \"%.2f\", ($S-$L)/$M}")x the floor"
  echo "  the staged set alone over SMB: $ST ms = $(awk "BEGIN{printf \"%.2f\", $ST/$M}")x the floor;" \
       "its summary: $SM ms (reading the files back whole: $RB ms)"
  echo "silent eeePC (timeout_s = $SILENT_TIMEOUT): kve-export gave up after $SILENT_MS ms (exit $rc)"
} | tee "$OUT/smb_bench.txt"
