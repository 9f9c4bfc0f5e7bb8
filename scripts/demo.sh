#!/usr/bin/env bash
# Sets up the machine, builds the report command and writes a report of the built-in demo
# instance (a simulated SQL Server on a loopback port) to demo.htm, or to the file given.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
output=${1:-demo.htm}
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$(nproc)" --target quorvane-report
# The demo instance has one database that goes offline during the report, shown as an error
# block, so the command ends with status 1 ("report with exceptions") by design.
status=0
./build/src/cli/quorvane-report --demo --output "$output" || status=$?
if [ "$status" -gt 1 ]; then exit "$status"; fi
echo "Open $(realpath "$output") in a browser to read the report."
