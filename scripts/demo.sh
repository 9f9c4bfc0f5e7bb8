#!/usr/bin/env bash
# Sets up the machine and builds both programs. With a display, opens the desktop program on the
# built-in demo instance (a simulated SQL Server on a loopback port): press Connect, then OK in
# the login dialog. Without a display, writes a report of that instance to demo.htm, or to the
# file given.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
output=${1:-demo.htm}
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$(nproc)" --target quorvane-report quorvane

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ -z "${1:-}" ]; then
  # The browser engine refuses its sandbox to root.
  if [ "$(id -u)" = 0 ]; then export QTWEBENGINE_DISABLE_SANDBOX=1; fi
  exec ./build/src/app/quorvane --demo
fi

# The demo instance has one database that goes offline during the report, shown as an error
# block, so the command ends with status 1 ("report with exceptions") by design.
status=0
./build/src/cli/quorvane-report --demo --output "$output" || status=$?
if [ "$status" -gt 1 ]; then exit "$status"; fi
echo "Open $(realpath "$output") in a browser to read the report."
