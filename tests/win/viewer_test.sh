#!/usr/bin/env bash
# Drives quorvane.exe's help tab, report view, saving, debug window and installer under Wine with
# real X input (xdotool). Run inside a virtual display (xvfb-run).
#   viewer_test.sh WINE_RUN EXE INSTALLER WORK SCREENSHOTS CASE
# CASE: help | fallback | document_watch | save | debug | installer
set -euo pipefail
wine_run=$1 exe=$2 installer=$3 work=$4 screenshots=$5 case=$6
here=$(dirname "$0")

# shellcheck source=window_support.sh
source "$here/window_support.sh"
winpath() { echo "Z:${1//\//\\}"; }
# Addresses the program opens are written here instead of reaching a browser.
open_log=$folder/opened.txt
export QUORVANE_SHELL_OPEN_LOG=$(winpath "$open_log")

start() {  # start PROGRAM ARGS...: in the background; $started is its pid
  "$wine_run" "$@" >"$folder/stderr.log" 2>&1 &
  started=$!
  pids+=("$started")
}

clipboard() {  # what the program put on the clipboard (Wine hands it to X)
  python3 -c 'import tkinter; r = tkinter.Tk(); r.withdraw(); print(r.clipboard_get(type="UTF8_STRING"))'
}

run_demo_report() {  # run_demo_report ARGS...: the demo instance's report, its warning closed
  start "$folder/quorvane.exe" --demo "$@"
  main=$(window "$main_title")
  press "$main" Return
  login=$(window '^Log into ')
  press "$login" Return
  warning=$(window '^Warning$' 120)
  press "$warning" Return
  sleep 0.5
}

save_output() {  # save_output: Save Output pressed; $dialog is the save dialog
  click "$main" 385 46
  dialog=$(window '^Save As$' 20)
}

case $case in
help)
  # F1 shows the help document; a left and a right click on an address open it.
  start "$folder/quorvane.exe"
  main=$(window "$main_title")
  press "$main" F1
  shot help-tab.png
  import -window "$main" "$folder/help.png"
  read -r x y < <(python3 "$here/find_link.py" "$folder/help.png") || fail "no address shown"
  click "$main" "$x" "$y"
  click "$main" "$x" "$y" 3
  sleep 0.5
  [ "$(tr -d '\r' <"$open_log" 2>/dev/null)" = $'https://github.com/sponsors/quorvane\nhttps://github.com/sponsors/quorvane' ] ||
    fail "the clicks opened: $(cat "$open_log" 2>/dev/null)"
  press "$main" ctrl+a ctrl+c
  sleep 0.5
  text=$(clipboard)
  for expected in 'SQL Server Quorvane is free software' 'Contents of the report' \
    'Using the program' 'SERVER\INSTANCE' 'Change history' '© 2008-2026'; do
    grep -qF "$expected" <<<"$text" || fail "the help text lacks '$expected'"
  done
  press "$main" alt+F4
  gone "$started" 15
  [ "$status" = 0 ] || fail "exit status $status"
  ;;
fallback | document_watch)
  # Without the HTML engine the view shows the report's size and place; its button opens it.
  # document_watch: the browser control is created all the same and navigates without error,
  # but no document arrives; the watch must notice and show the page.
  export WINEDLLOVERRIDES='mscoree,mshtml='
  if [ "$case" = document_watch ]; then
    export QUORVANE_BROWSER_WITHOUT_ENGINE_CHECK=1
    run_demo_report
    press "$main" alt+o
    sleep 0.5
    [ ! -s "$open_log" ] || fail "the page showed before the watch ended"
    sleep 6
  else
    run_demo_report
  fi
  shot "$case-page.png"
  press "$main" alt+o
  sleep 0.5
  report=$(temp_report)
  grep -qi '^file://.*SQLServerQuorvane\.htm' "$open_log" ||
    fail "the button opened: $(cat "$open_log" 2>/dev/null)"
  tail -c 200 "$report" | grep -qi '</html>' || fail "the report is not finished"
  press "$main" alt+F4
  gone "$started" 15
  [ "$status" = 0 ] || fail "exit status $status"
  ;;
save)
  # Save Output proposes the server and the report's start time; a save that cannot replace
  # the old file leaves it as it was and nothing beside it.
  run_demo_report
  save_output
  shot save-dialog.png
  press "$dialog" Return
  info=$(window '^Information$' 20)
  press "$info" Return
  saved=$(ls "$folder"/127.0.0.1,*_????-??-??_??.??.??.htm 2>/dev/null | head -1)
  [ -n "$saved" ] || fail "no report saved under the proposed name: $(ls "$folder")"
  cmp -s "$saved" "$(temp_report)" || fail "the saved report differs from the one shown"
  echo 'the old report' >"$saved.old" && cp "$saved.old" "$saved"
  chattr +i "$saved" || fail "chattr is needed to make the save fail"
  save_output
  press "$dialog" Return
  error=$(window '^Error$' 20)
  shot save-failed.png
  press "$error" Return
  chattr -i "$saved"
  cmp -s "$saved" "$saved.old" || fail "the failed save changed the old report"
  [ "$(ls -A "$folder" | grep -vc -e '^quorvane.exe$' -e '^SQLServerQuorvane.ini$' -e '\.log$' -e '\.old$')" = 1 ] ||
    fail "the failed save left files behind: $(ls -A "$folder")"
  press "$main" alt+F4
  gone "$started" 15
  ;;
debug)
  # With -d the D button shows the report's HTML source as the run left it.
  run_demo_report -d
  click "$main" 478 48
  shot debug-window.png
  click "$main" 300 400
  press "$main" ctrl+Home ctrl+shift+End ctrl+c
  sleep 0.5
  text=$(clipboard)
  grep -q '^<!DOCTYPE HTML' <<<"$text" || fail "the debug window does not start with the document"
  grep -qi '</html>' <<<"$text" || fail "the debug window lacks the document's end"
  grep -q '<!--' <<<"$text" || fail "the debug window lacks the debug comments"
  press "$main" alt+F4
  gone "$started" 15
  ;;
installer)
  # Silent install for this user only, the installed program starts, silent uninstall.
  user_dir=$(ls -d "$prefix"/drive_c/users/*/AppData 2>/dev/null | grep -v /Public/ | head -1)
  installed="$user_dir/Local/Programs/SQL Server Quorvane"
  shortcut="$user_dir/Roaming/Microsoft/Windows/Start Menu/Programs/SQL Server Quorvane.lnk"
  rm -rf "$installed" "$shortcut"
  cp "$installer" "$folder/setup.exe"
  "$wine_run" "$folder/setup.exe" /S >"$folder/setup.log" 2>&1 || fail "the installer failed"
  [ -f "$installed/quorvane.exe" ] && [ -f "$installed/quorvane-report.exe" ] ||
    fail "nothing installed in $installed"
  [ -f "$shortcut" ] || fail "no Start-menu entry"
  start "$installed/quorvane.exe"
  main=$(window "$main_title")
  shot installed-program.png
  press "$main" alt+F4
  gone "$started" 15
  [ "$status" = 0 ] || fail "the installed program ended with $status"
  # The uninstaller copies itself away and returns at once: wait for the folder to go.
  "$wine_run" "$installed/uninstall.exe" /S >"$folder/uninstall.log" 2>&1 || fail "the uninstaller failed"
  deadline=$((SECONDS + 30))
  while [ -e "$installed" ] || [ -e "$shortcut" ]; do
    ((SECONDS < deadline)) || fail "left after uninstalling: $(ls -A "$installed" 2>/dev/null) $(ls "$shortcut" 2>/dev/null)"
    sleep 0.5
  done
  ;;
*)
  fail "unknown case $case"
  ;;
esac
echo "PASS: $case"
