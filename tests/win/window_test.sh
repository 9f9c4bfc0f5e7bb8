#!/usr/bin/env bash
# Drives quorvane.exe under Wine with real X input (xdotool): keys and clicks go through Wine's
# own input path to the focused control. Run inside a virtual display (xvfb-run).
#   window_test.sh WINE_RUN EXE SCENARIO WORK SCREENSHOTS CASE
# CASE: report | settings | server_box | second_copy | close_during_run | loop_gap
set -euo pipefail
wine_run=$1 exe=$2 scenario=$3 work=$4 screenshots=$5 case=$6
# shellcheck source=window_support.sh
source "$(dirname "$0")/window_support.sh"
ini=$folder/SQLServerQuorvane.ini

start() {  # start ARGS...: the program in the background; $started is its pid
  "$wine_run" "$folder/quorvane.exe" "$@" >"$folder/stderr.log" 2>&1 &
  started=$!
  pids+=("$started")
}

# start_slow_run MS: the demo instance with its xp_msver answer delayed by MS, and a report of it
# started with Enter, Enter; the window writes its measurements to probe.txt when it closes.
start_slow_run() {
  python3 - "$scenario" "$folder/slow.json" "$1" <<'PY'
import json, sys
scenario = json.load(open(sys.argv[1]))
for rule in scenario["batches"]:
    if rule.get("sql") == "exec master..xp_msver":
        rule["results"].insert(0, {"delay_ms": int(sys.argv[3])})
json.dump(scenario, open(sys.argv[2], "w"))
PY
  export QUORVANE_LOOP_PROBE_FILE="Z:${folder//\//\\}\\probe.txt"
  start --demo-scenario "Z:${folder//\//\\}\\slow.json"
  main=$(window "$main_title")
  press "$main" Return
  login=$(window '^Log into ')
  run_begun=$SECONDS
  press "$login" Return
}

remove_all_servers() {  # remove_all_servers KEY: the context menu's command, the question answered
  xdotool mousemove --window "$main" 100 48 click 3
  sleep 0.5
  xdotool key --delay 150 Down Down Return
  question=$(window '^Confirm$' 10)
  shot remove-all-question.png
  press "$question" "$1"
  closed "$question" 5 || fail "the question stayed open"
  sleep 0.3
}

case $case in
report)
  # Enter in the server box, Enter in the login dialog: the finished report in %TEMP%.
  start --demo
  main=$(window "$main_title")
  shot main-window.png
  press "$main" Return
  login=$(window '^Log into 127\.0\.0\.1,[0-9]+$')
  server=$(xdotool getwindowname "$login" | sed 's/^Log into //')
  shot login-dialog.png
  press "$login" Return
  warning=$(window '^Warning$' 120)
  report=$(temp_report)
  [ -f "$report" ] || fail "no report at $report"
  tail -c 200 "$report" | grep -qi '</html>' || fail "the report in $report is not finished"
  shot report-finished.png
  press "$warning" Return
  sleep 0.5
  press "$main" alt+c
  gone "$started" 15
  [ "$status" = 0 ] || fail "exit status $status"
  [ ! -e "$report" ] || fail "the temporary report was not deleted on close"
  grep -q "^CurServer=$server\$" "$ini" || fail "CurServer not saved: $(cat "$ini")"
  grep -q "^Servers=.*$server.*sa" "$ini" || fail "the server's login not saved: $(cat "$ini")"
  # The next start shows the server again, with its SQL Server login: Enter asks for it.
  start
  main=$(window "$main_title")
  press "$main" KP_Enter
  login=$(window "^Log into ${server//./\\.}\$" 20)
  press "$login" Escape
  closed $login 5 || fail "Escape left the login dialog open"
  press "$main" alt+F4
  gone "$started" 15
  [ "$status" = 0 ] || fail "exit status $status"
  ;;
settings)
  # A saved change of the Settings tab reaches the file; an unsaved one does not.
  start
  main=$(window "$main_title")
  # Controls at their design place on the tab page, which starts at 12, 31 in the window.
  click "$main" 92 17    # the "Settings" tab
  click "$main" 40 266   # Job History Limit
  press "$main" End BackSpace BackSpace BackSpace BackSpace 2 5 0
  click "$main" 60 399   # Don't get Replication details
  shot settings-tab.png
  click "$main" 65 52    # Save Settings
  click "$main" 60 362   # Provider: changed, not saved
  press "$main" End X
  press "$main" alt+F4
  gone "$started" 15
  [ "$status" = 0 ] || fail "exit status $status"
  grep -q '^JobHistory=250$' "$ini" || fail "JobHistory not saved: $(cat "$ini")"
  grep -q '^IgnoreReplicationSection=1$' "$ini" || fail "the replication box not saved"
  grep -q '^ConnectionProvider=SQLOLEDB.1$' "$ini" || fail "an unsaved change was written"
  ;;
server_box)
  # Completion counts as picking: typing "s" shows SRV1 and clears the Windows-authentication
  # box for its remembered login, so Enter asks for that login. The context menu empties the
  # list only when the question is answered with Yes.
  printf '[SQLServerQuorvane]\nServers=SRV1\xc3\xbfsa,SRV2\xc3\xbf\n' >"$ini"
  start
  main=$(window "$main_title")
  press "$main" s
  sleep 0.3
  press "$main" Return
  login=$(window '^Log into SRV1$' 20)
  shot server-box-completed.png
  press "$login" Escape
  closed "$login" 5 || fail "Escape left the login dialog open"
  remove_all_servers Return  # No, the default
  grep -q '^Servers=SRV1' "$ini" || fail "No changed the list: $(cat "$ini")"
  remove_all_servers y
  grep -q '^Servers=$' "$ini" || fail "Yes did not empty the list: $(cat "$ini")"
  press "$main" alt+F4
  gone "$started" 15
  ;;
second_copy)
  # A second copy brings the first to the front and ends with 0, leaving the settings alone.
  start
  first=$started
  main=$(window "$main_title")
  [ ! -e "$ini" ] || fail "the settings file exists before any save"
  start
  gone "$started" 30
  [ "$status" = 0 ] || fail "the second copy ended with $status"
  [ ! -e "$ini" ] || fail "the second copy wrote the settings file"
  [ "$(xdotool search --onlyvisible --name "$main_title" | wc -l)" = 1 ] ||
    fail "the second copy showed a window"
  kill -0 "$first" || fail "the first copy is gone"
  press "$main" alt+F4
  gone "$first" 15
  ;;
close_during_run)
  # Closing while a statement is delayed for 20 s cancels it and ends within 2 s.
  start_slow_run 20000
  sleep 3
  timeout 5 xdotool windowfocus --sync "$main" 2>/dev/null || xdotool windowfocus "$main"
  sleep 0.3
  begun=$(date +%s%N)
  xdotool key alt+F4
  gone "$started" 10
  elapsed=$((($(date +%s%N) - begun) / 1000000))
  echo "closed during the run in $elapsed ms (status $status); the window: $(tr -d '\r' <"$folder/probe.txt" | tr '\n' ' ')"
  ((elapsed <= 2000)) || fail "closing took $elapsed ms"
  [ "$status" = 0 ] || fail "exit status $status"
  ;;
loop_gap)
  # The message loop's longest pause while a statement is delayed for 5 s.
  start_slow_run 5000
  warning=$(window '^Warning$' 120)
  ((SECONDS - run_begun >= 5)) || fail "the run did not wait for the delayed statement"
  press "$warning" Return
  sleep 0.3
  press "$main" alt+F4
  gone "$started" 15
  [ -f "$folder/probe.txt" ] || fail "no measurement written"
  gap=$(tr -d '\r' <"$folder/probe.txt" | sed -n 's/^longest_gap_ms=//p')
  echo "longest message-loop gap during the run: $gap ms"
  ((gap < 1000)) || fail "the window froze for $gap ms"
  ;;
*)
  fail "unknown case $case"
  ;;
esac
echo "PASS: $case"
