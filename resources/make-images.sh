#!/bin/sh
# Renders every picture of the client from the SVG sources in icons/ into image/, builds the wait
# animation and the packaging icon. The outputs are committed, so the build needs neither
# rsvg-convert nor ImageMagick; run this again after editing a source. Same sources, same bytes.
#
# Usage: resources/make-images.sh   (from anywhere)
set -eu

here=$(cd "$(dirname "$0")" && pwd)
icons="$here/icons"
image="$here/image"
packaging="$here/../packaging"

for tool in rsvg-convert convert; do
    command -v "$tool" >/dev/null 2>&1 || { echo "make-images.sh: $tool not found" >&2; exit 1; }
done
mkdir -p "$image"

# render <source.svg> <width> <height> <target.png>
render() {
    rsvg-convert --width "$2" --height "$3" --format png --output "$4.tmp" "$1"
    mv "$4.tmp" "$4"
}

# Pictures: name (the same for the source and the PNG), width, height. Sizes are the largest size
# the client shows them at (or twice that for the title-bar buttons), so Qt only ever scales down.
while read -r name width height; do
    [ -n "$name" ] || continue
    render "$icons/$name.svg" "$width" "$height" "$image/$name.png"
done <<'EOF'
标题栏背景 1200 90
logo3 120 140
min 48 48
max1 48 48
max2 48 48
exit 48 48
用户设置 48 48
login背景 721 411
账号 24 24
密码 24 24
错误 30 30
OnePage 24 24
PreviousPage 24 24
AfterPage 24 24
LastPage 24 24
下拉 24 24
branch-closed 16 16
branch-open 16 16
VPN_ON 24 24
VPN_OFF 24 24
对 24 24
错 24 24
开 48 24
关 48 24
EOF

# The two large pictures are decoded at every start. Stored with the "sub" filter on every row,
# libpng unfilters them about twice as fast as the adaptive choice's Paeth rows; same pixels.
restore_fast() {
    convert "$image/$1.png" -strip -define png:compression-filter=1 -define png:compression-level=9 \
        -define png:exclude-chunks=date,time "$2:$image/$1.png.tmp"
    mv "$image/$1.png.tmp" "$image/$1.png"
}
restore_fast login背景 PNG32
restore_fast 标题栏背景 PNG24

# Application icon: the desktop entry's 256 px icon, and a 128 px copy for the window icon.
render "$packaging/korvane.svg" 256 256 "$packaging/korvane.png"
render "$packaging/korvane.svg" 128 128 "$image/korvane.png"
# The faint mark of the empty panels: the app icon in light grey.
convert "$image/korvane.png" -colorspace Gray -channel RGB -fill white -colorize 86% +channel \
    -define png:exclude-chunks=date,time "$image/watermark.png"

# wait.gif: 12 frames of the spinner, 30 degrees apart, 23 x 23 (the label's fixed size, since a
# movie in a QLabel is scaled without smoothing). GIF transparency is on or off per pixel, so the
# anti-aliased edges are blended onto the waiting windows' body colour rgb(240, 240, 240) first and
# every pixel that is not fully transparent becomes opaque.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT INT TERM
frames=""
i=0
while [ "$i" -lt 12 ]; do
    angle=$((i * 30))
    frame=$(printf '%s/frame%02d' "$work" "$i")
    sed "s/rotate(0 12 12)/rotate($angle 12 12)/" "$icons/wait.svg" > "$frame.svg"
    render "$frame.svg" 23 23 "$frame.png"
    convert "$frame.png" \
        \( +clone -background 'rgb(240,240,240)' -flatten \) \
        \( -clone 0 -alpha extract -threshold 0 \) \
        -delete 0 -alpha off -compose CopyOpacity -composite "$frame.gif"
    frames="$frames $frame.gif"
    i=$((i + 1))
done
# shellcheck disable=SC2086 # the frame list is split on purpose
convert -dispose Background -delay 8 -loop 0 $frames "$image/wait.gif.tmp.gif"
mv "$image/wait.gif.tmp.gif" "$image/wait.gif"

echo "make-images.sh: rendered $(find "$image" -type f | wc -l) files into $image"
