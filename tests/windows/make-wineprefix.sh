#!/usr/bin/env bash
# Makes the Wine prefix the Windows tests run in (once; later runs find it ready).
set -euo pipefail
: "${WINEPREFIX:?}"
if [ -f "$WINEPREFIX/system.reg" ] && [ -f "$WINEPREFIX/.korvane-ready" ]; then
    exit 0
fi
rm -rf "$WINEPREFIX"
wineboot -i >/dev/null 2>&1
wineserver -w
touch "$WINEPREFIX/.korvane-ready"
