#!/bin/sh
# Renders the tray icons (tray-<state>.svg) into the PNG sizes trays ask for. The PNGs are
# committed, so the build needs no SVG support; run this again after editing a source.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
command -v rsvg-convert >/dev/null 2>&1 || { echo "make-tray-icons.sh: rsvg-convert not found" >&2; exit 1; }
for state in off connecting connected reconnecting down; do
    for size in 16 22 24 32 48 64; do
        rsvg-convert --width "$size" --height "$size" --format png \
            --output "$here/tray-$state-$size.png" "$here/tray-$state.svg"
    done
done
