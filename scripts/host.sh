#!/usr/bin/env bash
# The Qt host on the demo workstation of ./kve demo: a demo central kitchen in SQLite, the
# application server on a loopback port, the workstation written by kve-demo (configuration,
# registry file, drive C:, HotSync user, the eeePC's share), and kve-host opening the screen.
#   scripts/host.sh [--screenshot FILE.png]   (a picture instead of a window, no display needed)
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BIN=${KVE_BIN:-$ROOT/build/apps}
SITE=${KVE_HOST_SITE:-$ROOT/demo/out/host}
source "$ROOT/scripts/lib.sh"
mkdir -p "$SITE"

if [ ! -e "$SITE/kve.db" ]; then
  "$BIN/kve-demo-data" --db "sqlite:$SITE/kve.db" >/dev/null
fi

start_appserver "sqlite:$SITE/kve.db" "$SITE/appserver.log"
PORT=$APPSERVER_PORT

"$BIN/kve-demo" --site "$SITE/site" --db "sqlite:$SITE/kve.db" --server "127.0.0.1:$PORT" >/dev/null

if [ "${1:-}" != "--screenshot" ] && [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  echo "kve host: no display; try: ./kve host --screenshot demo/out/kve-host.png" >&2
  exit 2
fi
"$BIN/kve-host" --config "$SITE/site/kve.toml" "$@"
