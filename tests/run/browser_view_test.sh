#!/usr/bin/env bash
# scripts/run on a machine without a display, run as a user runs it: a port
# in use is refused by name with nothing left running; otherwise the page it
# names shows the capture dialog in headless Chromium (compared with grabs of
# its Xvfb display), nothing it started listens beyond 127.0.0.1, and a click
# on the dialog's Exit in the page, or Ctrl+C, ends everything it started.
#
#   browser_view_test.sh BUILD_DIR
set -euo pipefail
here=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "$1" && pwd)

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

work=$(mktemp -d "$build/browser-view-test.XXXXXX")
token=$$-$RANDOM
run_pid=
blocker_pid=
cleanup() {
  if [ -n "$run_pid" ]; then kill -TERM "$run_pid" 2>/dev/null || true; wait "$run_pid" 2>/dev/null || true; fi
  if [ -n "$blocker_pid" ]; then kill "$blocker_pid" 2>/dev/null || true; wait "$blocker_pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

# The command in place of the (sub)shell that calls this. Every process it
# starts, Wine's included, inherits the token.
run() { exec env -u DISPLAY PIXMERLE_BUILD="$build" BROWSER_VIEW_TEST="$token" "$here/scripts/run" "$@"; }
processes_of_run() {
  grep -lzx "BROWSER_VIEW_TEST=$token" /proc/[0-9]*/environ 2>/dev/null | cut -d/ -f3 | paste -sd, - || true
}
free_port() { python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'; }
seconds_until() { local end=$((SECONDS + $1 * ${PIXMERLE_TIME_FACTOR:-1})); while [ $SECONDS -lt $end ]; do eval "$2" && return 0; sleep 0.5; done; return 1; }

# ended NAME: the run has ended by itself; nothing of it runs or listens.
ended() {
  local left
  if ! seconds_until 30 '! kill -0 "$run_pid" 2>/dev/null'; then
    fail "$1: the command did not end"
    kill -TERM "$run_pid" 2>/dev/null || true
  fi
  wait "$run_pid" 2>/dev/null || true
  run_pid=
  left=$(processes_of_run)
  [ -z "$left" ] || fail "$1: processes of the command still run: $(ps -o pid=,args= -p "$left" | tr '\n' ';')"
  [ -z "$(ss -ltnH "sport = :$port")" ] || fail "$1: port $port still listens"
}

abandon() {
  kill -TERM "$run_pid" 2>/dev/null || true
  wait "$run_pid" 2>/dev/null || true
  run_pid=
  cat "$out"
}

# start NAME: runs the command in the background until its dialog shows on
# its display; sets display and the dialog's rectangle.
start() {
  port=$(free_port)
  out=$work/$1.out
  run --port "$port" >"$out" 2>&1 &
  run_pid=$!
  local url="http://127.0.0.1:$port/vnc.html?autoconnect=1"
  if ! seconds_until 120 'grep -qF "$url" "$out" || ! kill -0 "$run_pid" 2>/dev/null' ||
     ! grep -qF "$url" "$out"; then
    fail "$1: the command named no address $url"; abandon; return 1
  fi
  display=$(sed -n 's/.*the Xvfb display \(:[0-9]*\).*/\1/p' "$out")
  seconds_until 30 'curl -sf "$url" >/dev/null' || { fail "$1: the page does not answer"; abandon; return 1; }
  if ! seconds_until 120 'xwininfo -display "$display" -name "  Pixmerle 1.1.7" >"$work/dialog" 2>/dev/null'; then
    fail "$1: no dialog on the display $display"; abandon; return 1
  fi
  dialog=$(awk '/Absolute upper-left X:/ {x = $4} /Absolute upper-left Y:/ {y = $4}
                /Width:/ {w = $2} /Height:/ {h = $2} END {print x, y, w, h}' "$work/dialog")
}

# A port in use: refused by name before anything starts.
port=$(free_port)
python3 -c 'import socket, sys, time
s = socket.socket(); s.bind(("127.0.0.1", int(sys.argv[1]))); s.listen(); print("listening", flush=True); time.sleep(600)' \
  "$port" >"$work/blocker.out" &
blocker_pid=$!
seconds_until 10 'grep -q listening "$work/blocker.out"'
status=0
(run --port "$port") >"$work/busy.out" 2>&1 || status=$?
if [ "$status" -eq 0 ] || ! grep -q "port $port is in use" "$work/busy.out"; then
  fail "a port in use: status $status, said: $(cat "$work/busy.out")"
fi
left=$(processes_of_run)
[ -z "$left" ] || fail "a port in use: processes of the command still run: $left"
kill "$blocker_pid"; wait "$blocker_pid" 2>/dev/null || true; blocker_pid=

# The page shows the dialog; a click on its Exit there ends everything.
if start exit; then
  pids=" $(processes_of_run | tr , ' ') "
  ours=$(ss -ltnpH | awk -v pids="$pids" '{ if (match($0, /pid=[0-9]+,/)) { pid = substr($0, RSTART + 4, RLENGTH - 5);
                                          if (index(pids, " " pid " ")) print $4 } }')
  echo "$ours" | grep -qx "127.0.0.1:$port" || fail "the command does not serve the page on 127.0.0.1:$port: $ours"
  beyond=$(echo "$ours" | grep -v '^127\.0\.0\.1:' || true)
  [ -z "$beyond" ] || fail "the command listens beyond 127.0.0.1: $beyond"
  read -r x y w h <<<"$dialog"
  # The Exit button: the second at the dialog's top left, under About, its
  # middle 21 of the template's 104 units down, below the caption.
  python3 "$here/tests/run/browser_page.py" "http://127.0.0.1:$port/vnc.html?autoconnect=1" "$display" \
    "$x" "$y" "$w" "$h" "$work/shot.png" $((x + w / 10)) $((y + h * 30 / 100)) ||
    { fail "the page does not show the dialog"; cp "$work/shot.png" "$build/browser_view_shot.png" 2>/dev/null || true
      cp "$work/shot.png.display.ppm" "$build/browser_view_display.ppm" 2>/dev/null || true; }
  ended "Exit in the page"
fi

# Ctrl+C: the terminal interrupts the command's whole process group.
set -m
if start interrupt; then
  kill -INT -- "-$run_pid"
  ended "Ctrl+C"
fi
set +m

if [ "$failures" -gt 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "browser view: all checks passed"
