#!/usr/bin/env bash
# The real `quorvane --demo` under a window manager (openbox), driven with X key events only:
# the focus starts in the server box, Enter opens the login dialog, Enter runs the report, the
# captions read exactly as the program sets them, Alt+C closes the window.
# Usage (under xvfb-run): real_window_keyboard.sh PROGRAM SCREENSHOT_FOLDER
set -euo pipefail
program=$1
screenshots=$2
work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "FAIL: $*" >&2
  [ -f "$work/log" ] && sed 's/^/  program: /' "$work/log" >&2
  exit 1
}

# Waits up to $2 seconds for the active window's title to be exactly $1.
active_title_is() {
  local want=$1 seconds=$2 title=""
  for _ in $(seq $((seconds * 10))); do
    title=$(xprop -id "$(xdotool getactivewindow 2>/dev/null || echo 0)" -notype _NET_WM_NAME \
              2>/dev/null | sed -n 's/^_NET_WM_NAME = "\(.*\)"$/\1/p' || true)
    [ "$title" = "$want" ] && return 0
    sleep 0.1
  done
  fail "the active window is \"$title\", not \"$want\""
}

openbox --sm-disable >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 50); do
  xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break
  sleep 0.1
done

# A copy of its own: the settings file lives beside the program.
cp "$program" "$work/quorvane"
mkdir "$work/temp"
TEMP="$work/temp" "$work/quorvane" --demo >"$work/log" 2>&1 &
pids+=($!)
quorvane=$!
for _ in $(seq 100); do
  server=$(sed -n 's/.*simulated demo server listens on \(127\.0\.0\.1,[0-9]*\).*/\1/p' "$work/log" || true)
  [ -n "$server" ] && break
  sleep 0.1
done
[ -n "$server" ] || fail "the demo server did not start"

active_title_is "SQL Server Quorvane" 30
xdotool key Return
active_title_is "Log into $server" 15
xdotool key Return
active_title_is "Warning" 60
report="$work/temp/quorvane-$(id -u)/~SQLServerQuorvane.htm"
[ -f "$report" ] || fail "no report at $report"
grep -q "QUORVANE-DEMO" "$report" || fail "the report does not name the demo server"
grep -qi "</html>" "$report" || fail "the report is not closed"
if command -v import >/dev/null; then
  mkdir -p "$screenshots"
  import -window root "$screenshots/real-window-keyboard.png" || true
fi
xdotool key Return
active_title_is "SQL Server Quorvane" 15
xdotool key alt+c
for _ in $(seq 100); do
  kill -0 "$quorvane" 2>/dev/null || break
  sleep 0.1
done
kill -0 "$quorvane" 2>/dev/null && fail "Alt+C did not close the window"
wait "$quorvane" || fail "the program ended with status $?"
grep -q "^CurServer=$server" "$work/SQLServerQuorvane.ini" || fail "the server was not remembered"
[ ! -f "$report" ] || fail "the temporary report was left behind"
echo "ok: Enter, Enter gave the finished report of $server; captions exact; Alt+C closed it"
