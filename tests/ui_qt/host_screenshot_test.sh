#!/usr/bin/env bash
# kve-host end to end: a demo site (database, application server, configuration), the screen
# opened from the package and rendered offscreen; then the same with the server gone.
#   host_screenshot_test.sh BIN_DIR
set -euo pipefail
BIN=$1
WORK=$(mktemp -d)
SERVER=
trap '[ -n "$SERVER" ] && kill $SERVER 2>/dev/null; rm -rf "$WORK"' EXIT
export QT_QPA_PLATFORM=offscreen

"$BIN/kve-demo-data" --db "sqlite:$WORK/kve.db" >/dev/null
PORT=$(( 30000 + RANDOM % 20000 ))
"$BIN/kve-appserver" --db "sqlite:$WORK/kve.db" --listen "127.0.0.1:$PORT" >"$WORK/server.log" 2>&1 &
SERVER=$!
for _ in $(seq 50); do
  (exec 3<>"/dev/tcp/127.0.0.1/$PORT") 2>/dev/null && break
  sleep 0.1
done
cat >"$WORK/kve.toml" <<TOML
data_dir = "var"
[host]
branch = "0001"
[database]
url = "sqlite:kve.db"
[server]
port = $PORT
TOML

"$BIN/kve-host" --config "$WORK/kve.toml" --screenshot "$WORK/screen.png" 2>"$WORK/host.err"
grep -q "screen shown" "$WORK/host.err"
# The picture is the host's 1024x768 window: PNG width and height sit at bytes 16-23.
size=$(od -An -tu1 -j16 -N8 "$WORK/screen.png" | awk '{printf "%dx%d", $3*256+$4, $7*256+$8}')
[ "$size" = "1024x768" ] || { echo "picture is $size, not 1024x768"; exit 1; }

# No server: no screen, the connection's error, exit status 1.
kill $SERVER; wait $SERVER 2>/dev/null || true; SERVER=
if "$BIN/kve-host" --config "$WORK/kve.toml" --screenshot "$WORK/none.png" 2>"$WORK/host.err"; then
  echo "kve-host opened a screen without its server"; exit 1
fi
grep -q "127.0.0.1:$PORT" "$WORK/host.err" || { cat "$WORK/host.err"; exit 1; }
[ ! -e "$WORK/none.png" ]
echo "kve-host: screen rendered at $size; without a server it stops with the connection's error"
