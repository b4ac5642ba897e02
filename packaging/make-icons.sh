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
# The Windows icon (programs, start-menu entry, installer): the same PNGs in one .ico, stored as PNG
# entries, which Windows reads since Vista.
python3 - "$here" <<'PY'
import struct, sys
here = sys.argv[1]
sizes = [16, 24, 32, 48, 64, 256]
images = [open(f"{here}/icons/{s}x{s}/korvane.png", "rb").read() for s in sizes]
offset = 6 + 16 * len(sizes)
header = struct.pack("<HHH", 0, 1, len(sizes))
entries = b""
for size, data in zip(sizes, images):
    entries += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(data), offset)
    offset += len(data)
with open(f"{here}/windows/korvane.ico", "wb") as out:
    out.write(header + entries + b"".join(images))
PY
# The installer's welcome and finish pages: the icon and the name on the client's blue.
font=/usr/share/fonts/opentype/noto/NotoSansCJK-Bold.ttc
convert -size 164x314 gradient:'#1e88e5-#0d47a1' \
    \( "$here/icons/128x128/korvane.png" -resize 96x96 \) -gravity north -geometry +0+56 -composite \
    \( -background none -fill white -font "$font" -pointsize 20 label:Korvane \) -gravity north -geometry +0+168 -composite \
    \( -background none -fill white -font "$font" -pointsize 18 label:远程接入 \) -gravity north -geometry +0+200 -composite \
    -alpha off -type TrueColor "BMP3:$here/windows/wizard.bmp"
