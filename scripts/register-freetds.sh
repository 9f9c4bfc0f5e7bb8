#!/usr/bin/env bash
# Registers the FreeTDS ODBC driver with unixODBC under the name "FreeTDS", whatever the package
# registered. Idempotent.
set -euo pipefail
if odbcinst -q -d 2>/dev/null | grep -qx '\[FreeTDS\]'; then exit 0; fi
driver=$(find /usr/lib -name libtdsodbc.so -print -quit)
[ -n "$driver" ] || { echo "libtdsodbc.so not found" >&2; exit 1; }
template=$(mktemp)
printf '[FreeTDS]\nDescription=FreeTDS ODBC driver for SQL Server\nDriver=%s\n' "$driver" > "$template"
odbcinst -i -d -f "$template" >/dev/null
rm -f "$template"
