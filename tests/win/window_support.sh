# What the window tests under Wine share: the case's folder with its copy of the program, a
# window manager, and helpers for windows, keys, clicks and screenshots. Sourced by a test with
# wine_run, exe, work, screenshots and case set.
prefix=$(dirname "$wine_run")/wineprefix

fail() {
  echo "FAIL: $*" >&2
  import -window root "$screenshots/failed-$case.png" 2>/dev/null || true
  exit 1
}

# A copy of the program in a folder of its own: its own settings file, its own instance.
folder=$work/$case
rm -rf "$folder"
mkdir -p "$folder" "$screenshots"
rm -f "$screenshots/failed-$case.png"
cp "$exe" "$folder/quorvane.exe"
export QUORVANE_SPLASH_MS=0

pids=()
# A window manager: without one Wine waits two seconds for every window it hides, and windows
# have no title bars in the screenshots.
openbox --sm-disable >/dev/null 2>&1 &
pids+=($!)
sleep 0.5

cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
}
trap cleanup EXIT

window() {  # window TITLE-REGEX [SECONDS]: the id of the visible window of that title
  local deadline=$((SECONDS + ${2:-60})) id
  while ((SECONDS < deadline)); do
    id=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -1 || true)
    if [ -n "$id" ]; then
      echo "$id"
      return 0
    fi
    sleep 0.2
  done
  fail "no window named '$1'"
}

gone() {  # gone PID SECONDS: waits for the process to end; its status in $status
  local deadline=$((SECONDS + $2))
  while kill -0 "$1" 2>/dev/null; do
    ((SECONDS < deadline)) || fail "the program did not end within $2 s"
    sleep 0.1
  done
  status=0
  wait "$1" || status=$?
}

press() {  # press WINDOW KEY...: the keys, to the control focused in that window
  timeout 5 xdotool windowfocus --sync "$1" 2>/dev/null || xdotool windowfocus "$1"
  sleep 0.3
  shift
  xdotool key --delay 80 "$@"
}

click() {  # click WINDOW X Y [BUTTON]: a click (the left button by default) at that point
  xdotool mousemove --window "$1" "$2" "$3"
  sleep 0.2
  xdotool click "${4:-1}"
  sleep 0.3
}

closed() {  # closed WINDOW SECONDS: true once the window is no longer shown
  local deadline=$((SECONDS + $2))
  while xdotool search --onlyvisible --name '' 2>/dev/null | grep -qx "$1"; do
    ((SECONDS < deadline)) || return 1
    sleep 0.2
  done
}

shot() {
  sleep 0.5
  import -window root "$screenshots/$1"
}

temp_report() {
  local temp
  temp=$(ls -d "$prefix"/drive_c/users/*/Temp 2>/dev/null | grep -v /Public/ | head -1)
  echo "$temp/~SQLServerQuorvane.htm"
}

main_title='^SQL Server Quorvane$'
