#!/usr/bin/env bash
# The Debian package, end to end: build it from BUILD_DIR, unpack it into a fresh folder, make
# a demo database with the unpacked kve-demo-data, start the unpacked kve-appserver on a
# loopback port, call it, stop it.
#   tests/package/package_test.sh BUILD_DIR
set -euo pipefail
BUILD=$(cd "$1" && pwd)
WORK=$(mktemp -d)
SERVER=
cleanup() {
  [ -n "$SERVER" ] && kill "$SERVER" 2>/dev/null || true
  rm -rf "$WORK"
}
trap cleanup EXIT
fail() { echo "package test: $*" >&2; [ -f "$WORK/server.log" ] && cat "$WORK/server.log" >&2; exit 1; }

start=$(date +%s)
cpack -G DEB --config "$BUILD/CPackConfig.cmake" -B "$WORK/out" >"$WORK/cpack.log" 2>&1 ||
  { cat "$WORK/cpack.log" >&2; fail "cpack failed"; }
deb=$(ls "$WORK"/out/*.deb)
echo "package: $(basename "$deb"), $(stat -c %s "$deb") bytes, built in $(( $(date +%s) - start )) s"
dpkg-deb --field "$deb" Depends
root="$WORK/root"
dpkg-deb -x "$deb" "$root"

for f in usr/bin/kve-appserver usr/bin/kve-export usr/bin/kve-inspect usr/bin/kve-hotsync \
         usr/bin/kve-demo-data usr/lib/libkve07000.so usr/share/kve/sql/00_EFETIVOS.sql \
         usr/share/doc/kve/examples/kve.toml lib/systemd/system/kve-appserver.service \
         etc/default/kve-appserver; do
  [ -e "$root/$f" ] || fail "$f is not in the package"
done
conffiles=$(dpkg-deb --ctrl-tarfile "$deb" | tar -xO ./conffiles)
grep -qxF /etc/default/kve-appserver <<<"$conffiles" ||
  fail "/etc/default/kve-appserver is not a conffile"
[ -n "$(ls "$root"/usr/share/kve/schema)" ] || fail "no schema steps in the package"
if command -v systemd-analyze >/dev/null; then
  # The unit must parse; its sandbox must rate "OK" (exposure under 4.0) or better.
  systemd-analyze security --offline=yes --root="$root" --threshold=39 \
    "$root/lib/systemd/system/kve-appserver.service" >"$WORK/security.log" 2>&1 ||
    { cat "$WORK/security.log" >&2; fail "the service's sandbox rates worse than OK"; }
  tail -1 "$WORK/security.log"
fi

# Every key of the example configuration is one the programs know.
cp "$root/usr/share/doc/kve/examples/kve.toml" "$WORK/kve.toml"
# Exit 2 is a refused configuration; 1 only says its queue root is not made yet.
status=0
"$root/usr/bin/kve-hotsync" --config "$WORK/kve.toml" list >/dev/null 2>&1 || status=$?
[ "$status" -ne 2 ] || fail "the example configuration is refused"

db="sqlite:$WORK/kve.db"
"$root/usr/bin/kve-demo-data" --db "$db" --today 2024-03-04 >/dev/null || fail "kve-demo-data failed"
for attempt in 1 2 3 4 5; do
  port=$(( 20000 + RANDOM % 40000 ))
  KVE_APPSERVER_TOKEN=pkgtest "$root/usr/bin/kve-appserver" --db "$db" --listen "127.0.0.1:$port" \
    >"$WORK/server.log" 2>&1 &
  SERVER=$!
  for _ in $(seq 50); do
    curl -sf "http://127.0.0.1:$port/healthz" >/dev/null 2>&1 && break 2
    kill -0 "$SERVER" 2>/dev/null || break
    sleep 0.1
  done
  kill "$SERVER" 2>/dev/null || true
  wait "$SERVER" 2>/dev/null || true
  SERVER=
done
[ -n "$SERVER" ] || fail "the server did not start"

[ "$(curl -s "http://127.0.0.1:$port/healthz")" = ok ] || fail "/healthz did not answer ok"
reply=$(curl -s -H "Authorization: Bearer pkgtest" -H "Content-Type: application/json" \
  -d '{"jsonrpc":"2.0","id":1,"method":"GetAgrupProd","params":["","T"]}' \
  "http://127.0.0.1:$port/Kve07000.rdmExpDados")
case "$reply" in
  *'"kind":"image"'*) ;;
  *) fail "GetAgrupProd answered: ${reply:0:300}" ;;
esac
metrics=$(curl -s -H "Authorization: Bearer pkgtest" "http://127.0.0.1:$port/metrics")
grep -qxF 'kve_appserver_calls_total{method="GetAgrupProd",outcome="ok"} 1' <<<"$metrics" ||
  fail "/metrics does not count the call"

kill -TERM "$SERVER"
status=0
wait "$SERVER" || status=$?
SERVER=
[ "$status" = 0 ] || fail "the server exited with status $status on SIGTERM"
echo "package test passed in $(( $(date +%s) - start )) s"
