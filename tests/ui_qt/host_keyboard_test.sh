#!/usr/bin/env bash
# kve-host in a real window on a virtual display, driven by the keyboard alone as an operator
# drives it: on a demo workstation, Palm "001" exported with its code typed, the dates in
# short forms, Alt+E, the question answered with Alt+S and the closing alert with Enter; then
# the HotSync queue of "Palm 01" holds the export and the device's history has its row.
# Then the window is closed during a second export: the close waits, saying why, the export
# ends as usual, and the window closes after it.
#   host_keyboard_test.sh BIN_DIR
# KVE_GUI_SCREENSHOT=FILE.png keeps a picture of the window at the first export's closing
# message (xwd and netpbm needed; Debian: x11-apps, netpbm).
# Exit 77 (skipped) when Xvfb, xdotool, openbox or sqlite3 is missing.
set -euo pipefail
BIN=$1
for tool in Xvfb xdotool openbox sqlite3; do
  command -v "$tool" >/dev/null || { echo "skipped: $tool is not installed (Debian: xvfb, xdotool, openbox, sqlite3)"; exit 77; }
done

WORK=$(mktemp -d)
PIDS=()
cleanup() {
  local p
  for p in "${PIDS[@]}"; do kill "$p" 2>/dev/null || true; done
  for p in "${PIDS[@]}"; do wait "$p" 2>/dev/null || true; done
  rm -rf "$WORK"
}
trap cleanup EXIT
fail() {
  echo "FAILED: $*"
  echo "--- windows shown:"
  for w in $(xdotool search --onlyvisible --name . 2>/dev/null); do xdotool getwindowname "$w" 2>/dev/null; done
  echo "--- kve-host's standard error:"; cat "$WORK/host.err" 2>/dev/null || true
  # A picture of the display, when asked for and xwd is there.
  if [ -n "${KVE_GUI_SNAPSHOT:-}" ] && command -v xwd >/dev/null; then
    xwd -root -silent >"$KVE_GUI_SNAPSHOT" 2>/dev/null || true
  fi
  exit 1
}

# The demo central kitchen, its application server and a workstation, as scripts/host.sh does;
# at a scale where an export lasts long enough to be interrupted (a Palm table holds 3,000
# records per step, the Palm's limit is 65,535).
"$BIN/kve-demo-data" --db "sqlite:$WORK/kve.db" --scale "${KVE_GUI_SCALE:-15}" >/dev/null
PORT=$(( 30000 + RANDOM % 20000 ))
"$BIN/kve-appserver" --db "sqlite:$WORK/kve.db" --listen "127.0.0.1:$PORT" >"$WORK/server.log" 2>&1 &
PIDS+=($!)
for _ in $(seq 100); do
  (exec 3<>"/dev/tcp/127.0.0.1/$PORT") 2>/dev/null && break
  sleep 0.1
done
"$BIN/kve-demo" --site "$WORK/site" --db "sqlite:$WORK/kve.db" --server "127.0.0.1:$PORT" >/dev/null
INSTALL="$WORK/site/hotsync/Palm 01/Install"
HISTORY="SELECT COUNT(*) || ' ' || COALESCE((SELECT IDHISTPALM || '/' || IDERROPALM FROM HISTPALM
          WHERE CDPALM = '001' ORDER BY NRSEQHISTPALM DESC LIMIT 1), '') FROM HISTPALM WHERE CDPALM = '001'"
before=$(sqlite3 "$WORK/kve.db" "$HISTORY")

# A display of its own (the server picks a free number) with a window manager for focus.
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$WORK/display" 2>"$WORK/xvfb.log" &
PIDS+=($!)
for _ in $(seq 100); do [ -s "$WORK/display" ] && break; sleep 0.1; done
[ -s "$WORK/display" ] || fail "Xvfb did not start: $(cat "$WORK/xvfb.log")"
export DISPLAY=":$(head -n1 "$WORK/display")"
unset WAYLAND_DISPLAY QT_QPA_PLATFORM
openbox >/dev/null 2>&1 &
PIDS+=($!)
sleep 1

"$BIN/kve-host" --config "$WORK/site/kve.toml" 2>"$WORK/host.err" &
HOST=$!
PIDS+=($HOST)

# A visible window whose name matches $1, now (no waiting); prints its id.
shown() { xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n1 | grep .; }
# Waits up to $2 seconds for a visible window whose name matches $1; prints its id. Polled:
# a search fails outright when a window it looks at goes away meanwhile (a wait box closing).
window() {
  local id i tries
  tries=$(awk -v t="$2" 'BEGIN { print int(t * 10) + 1 }')
  for ((i = 0; i < tries; i++)); do
    id=$(shown "$1") && { echo "$id"; return 0; }
    sleep 0.1
  done
  return 1
}
key() { xdotool key --delay 60 "$@"; sleep 0.3; }
# A PNG of the main window as the display shows it, with the message box standing over it.
# The display's own picture leaves a box's inside black (its pixels have a depth of their
# own): the box is read by itself and laid over it.
picture() {
  command -v xwd >/dev/null && command -v xwdtopnm >/dev/null || { echo "no picture: xwd or netpbm missing"; return 0; }
  sleep 1  # the box painted
  corner() { xwininfo -id "$1" | awk '/Absolute upper-left X/ { x = $NF } /Absolute upper-left Y/ { y = $NF }
                                      /Width:/ { w = $NF } /Height:/ { h = $NF } END { print x, y, w, h }'; }
  local x y w h bx by box
  xwd -root -silent | xwdtopnm 2>/dev/null >"$WORK/screen.pnm"
  for box in $(xdotool search --onlyvisible --name "^Informação$" 2>/dev/null); do
    read -r bx by _ < <(corner "$box")
    xwd -id "$box" -silent | xwdtopnm 2>/dev/null >"$WORK/box.pnm"
    pamcomp -xoff="$bx" -yoff="$by" "$WORK/box.pnm" "$WORK/screen.pnm" >"$WORK/both.pnm"
    mv "$WORK/both.pnm" "$WORK/screen.pnm"
  done
  read -r x y w h < <(corner "$MAIN")
  pamcut -left "$x" -top "$y" -width "$w" -height "$h" "$WORK/screen.pnm" | pnmtopng >"$1"
}
type_text() { xdotool type --delay 80 "$1"; sleep 0.3; }

MAIN=$(window "Central de Alimentação Escolar" 60) || fail "the host's window did not appear"
xdotool windowactivate --sync "$MAIN" 2>/dev/null || true
sleep 2  # the screen connects to its server and opens with the focus on "Palm"

# The keyboard order: Palm, eeePC, the Palm's code, nutritionist, all/list of branches, the
# menu's dates, the product tree, the supply authorisations' dates, the purchase requests'.
d() { date -d "$1" "$2"; }
key Tab Tab
type_text 1                                   # Palm "001"
key Tab Tab Tab Tab                           # nutritionist left empty, all branches
type_text "$(d today +%-d/%-m)"               # menu from today (this year's)
key Tab
type_text "$(d '+4 days' +%d%m%y)"            # ... to today + 4
key Tab Tab                                   # the whole product tree stays
type_text "$(d '-30 days' +%-d/%-m/%y)"       # supply authorisations
key Tab
type_text "$(d '+30 days' +%d%m%Y)"
key Tab
type_text "$(d '-30 days' +%d%m%Y)"           # purchase requests
key Tab
type_text "$(d today +%-d/%-m/%y)"
key Tab
key alt+e

# The questions: the whole tree is confirmed (Alt+S: "Sim"); the closing alert is read and
# acknowledged with Enter. Any error box fails the test.
answered=0
for _ in $(seq 240); do
  kill -0 "$HOST" 2>/dev/null || fail "kve-host ended during the export"
  if id=$(window "^Erro$" 0.2) || id=$(window "^Aviso$" 0.2); then
    xdotool windowactivate --sync "$id" 2>/dev/null || true
    fail "an error box came up (see the log above)"
  fi
  if id=$(window "^Confirmação$" 0.2); then
    xdotool windowactivate --sync "$id" 2>/dev/null || true
    key alt+s
    answered=$((answered + 1))
    continue
  fi
  if id=$(window "^Informação$" 0.2); then
    xdotool windowactivate --sync "$id" 2>/dev/null || true
    [ -n "${KVE_GUI_SCREENSHOT:-}" ] && picture "$KVE_GUI_SCREENSHOT"
    key Return
    break
  fi
  sleep 0.5
done
[ "$answered" -ge 1 ] || fail "the whole-tree question was never asked"

# The export is queued for the HotSync user and recorded in the device's history.
for _ in $(seq 40); do
  n=$(find "$INSTALL" -maxdepth 1 -type f \( -name '*.pdb' -o -name '*.prc' \) | wc -l)
  [ "$n" -ge 37 ] && break
  sleep 0.5
done
[ "$n" -eq 37 ] || fail "the install queue holds $n entries, not 37"
after=$(sqlite3 "$WORK/kve.db" "$HISTORY")
[ "${after%% *}" -eq $(( ${before%% *} + 1 )) ] || fail "history rows: $before before, $after after"
[ "${after#* }" = "0/0" ] || fail "the new history row is ${after#* }, not an export (0/0)"
echo "kve-host by keyboard: Palm 001 exported, 37 entries queued for Palm 01, history row 0/0"

# The second export, and the window closed while it runs: once the wait box shows, Alt+F4 on
# the main window is answered with a message (the export still running behind it), not
# dropped; the export ends with its closing message; then the window closes.
xdotool windowactivate --sync "$MAIN" 2>/dev/null || true
key alt+e
told=0 ended=0
for _ in $(seq 300); do
  kill -0 "$HOST" 2>/dev/null || fail "kve-host ended during the second export"
  running=0
  shown "^Aguarde" >/dev/null && running=1
  if id=$(shown "^Informação$"); then
    xdotool windowactivate --sync "$id" 2>/dev/null || true
    if [ "$told" -eq 1 ] && [ "$running" -eq 0 ]; then
      key Return
      ended=1
      break
    fi
    # The answer to the close came while the export ran: the wait box is still up, or the
    # export has just ended and its closing message stands over that answer.
    boxes=$(xdotool search --onlyvisible --name "^Informação$" 2>/dev/null | wc -l)
    # Between the wait box closing and the closing message showing, the answer stands alone.
    for _ in $(seq 15); do
      [ "$running" -eq 1 ] || [ "$boxes" -ge 2 ] && break
      sleep 0.2
      boxes=$(xdotool search --onlyvisible --name "^Informação$" 2>/dev/null | wc -l)
    done
    [ "$running" -eq 1 ] || [ "$boxes" -ge 2 ] || fail "the close was not answered while the export ran"
    told=1
    key Return
    continue
  fi
  if [ "$running" -eq 1 ] && [ "$told" -eq 0 ]; then
    xdotool key alt+F4  # the main window has the focus back since the questions
    sleep 0.3
    continue
  fi
  if shown "^Erro$|^Aviso$" >/dev/null; then fail "an error box came up in the second export"; fi
  if id=$(shown "^Confirmação$"); then
    xdotool windowactivate --sync "$id" 2>/dev/null || true
    key alt+s
    continue
  fi
  sleep 0.1
done
[ "$told" -eq 1 ] || fail "closing the window during the export said nothing"
[ "$ended" -eq 1 ] || fail "the second export did not end with its closing message"
kill -0 "$HOST" 2>/dev/null || fail "kve-host ended instead of finishing the export"
again=$(sqlite3 "$WORK/kve.db" "$HISTORY")
[ "${again%% *}" -eq $(( ${after%% *} + 1 )) ] || fail "history rows: $after before the second export, $again after"

# Now the window closes (a message about the queue it withdraws is read on the way).
xdotool windowactivate --sync "$MAIN" 2>/dev/null || true
key alt+F4
for _ in $(seq 40); do
  kill -0 "$HOST" 2>/dev/null || break
  if id=$(shown "^Informação$"); then
    xdotool windowactivate --sync "$id" 2>/dev/null || true
    key Return
  fi
  sleep 0.2
done
kill -0 "$HOST" 2>/dev/null && fail "the window did not close after the export"
wait "$HOST" || fail "kve-host exited with status $?"
echo "kve-host closed during an export: told to wait, the export ended, then the window closed"
