#!/bin/sh
# Renders the application icon into the hicolor sizes a desktop asks for: korvane-small.svg for
# 16 to 24 px (the badge would be a blur there), korvane.svg from 32 px up. The PNGs are committed,
# so the build needs no SVG tool; run this again after editing a source.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
command -v rsvg-convert >/dev/null 2>&1 || { echo "make-icons.sh: rsvg-convert not found" >&2; exit 1; }
for size in 16 22 24 32 48 64 128 256; do
    source="$here/korvane.svg"
    [ "$size" -le 24 ] && source="$here/korvane-small.svg"
    mkdir -p "$here/icons/${size}x${size}"
    rsvg-convert --width "$size" --height "$size" --format png --output "$here/icons/${size}x${size}/korvane.png" "$source"
done
