#!/usr/bin/env bash
# Compares what two builds of the client show, pixel for pixel: each runs in its own Xvfb screen
# against a fresh simulator and goes through the steps of startup_and_memory.sh (the login dialog,
# the main window with its "not bound" box, the bound TAP with the tunnel's box, a gateway's device
# page); the whole screen is taken at every step and the two runs are compared with ImageMagick
# (`compare -metric AE`: the number of differing pixels, 0 to pass). A step is taken up to three
# times, since a blinking text cursor may be caught on or off.
# Usage: bench/compare_screens.sh client-before client-after [simulator]   (uses port 8443)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
before="$(realpath "$1")"
after="$(realpath "$2")"
sim="$(realpath "${3:-$root/build/sim/korvane-platform-sim}")"
for tool in Xvfb xwininfo xdotool import compare; do
    command -v "$tool" >/dev/null || { echo "needs $tool (xvfb x11-utils xdotool imagemagick)"; exit 1; }
done
out="$(mktemp -d)"
pids=()
cleanup() { [ ${#pids[@]} -eq 0 ] || kill "${pids[@]}" 2>/dev/null || true; }
trap cleanup EXIT

visible() { xwininfo -name "$1" 2>/dev/null | grep -q IsViewable; }
wait_visible() { for _ in $(seq 100); do visible "$1" && return 0; sleep 0.1; done; return 1; }
shot() { # name: three takes of the whole screen
    for take in 1 2 3; do
        sleep 0.4
        import -window root "$run/$1-$take.png"
    done
}

# run <label> <client>: the steps, with the screens in $out/<label>/
run_client() {
    run="$out/$1"
    mkdir -p "$run/home"
    local display=":$((500 + RANDOM % 400))"
    Xvfb "$display" -screen 0 1440x900x24 -nolisten tcp -noreset >/dev/null 2>&1 &
    local xvfb=$!
    pids+=("$xvfb")
    export DISPLAY="$display"
    sleep 1
    "$sim" --host 127.0.0.1 --port 8443 --quiet >/dev/null 2>&1 &
    local simulator=$!
    pids+=("$simulator")
    sleep 1
    (cd "$run/home" && PATH=/usr/local/bin:/usr/bin:/bin LC_ALL=C.UTF-8 "$2" >/dev/null 2>&1) &
    local client=$!
    pids+=("$client")
    wait_visible Form
    xdotool windowmove "$(xdotool search --name '^Form$' | head -1)" 0 0
    shot 1-login
    xdotool mousemove 835 295 click 1 key ctrl+a type "demo"
    xdotool mousemove 835 355 click 1 type "Demo@2026"
    xdotool mousemove 840 445 click 1
    wait_visible MainWindow
    xdotool windowmove "$(xdotool search --name '^MainWindow$' | head -1)" 0 0
    shot 2-not-bound
    xdotool key Return
    sleep 0.3
    xdotool mousemove 185 224 click 1 type "TAP-DEMO-0001"
    xdotool mousemove 185 268 click 1 type "Tap@0001"
    xdotool mousemove 160 316 click 1
    wait_visible 错误
    shot 3-bound
    xdotool key Return
    sleep 0.3
    xdotool mousemove 172 243 click 1
    xdotool mousemove 1400 880
    sleep 1
    shot 4-device-page
    kill "$client" "$simulator" "$xvfb" 2>/dev/null || true
    wait "$client" "$simulator" "$xvfb" 2>/dev/null || true
    pids=()
}

run_client before "$before"
run_client after "$after"
failed=0
for first in "$out"/before/*-1.png; do
    step="$(basename "$first" -1.png)"
    best=""
    for a in 1 2 3; do
        for b in 1 2 3; do
            ae="$(compare -metric AE "$out/before/$step-$a.png" "$out/after/$step-$b.png" null: 2>&1 || true)"
            if [ -z "$best" ] || [ "${ae%% *}" -lt "${best%% *}" ] 2>/dev/null; then best="$ae"; fi
        done
    done
    echo "$step: $best differing pixels"
    [ "${best%% *}" = 0 ] || failed=1
done
echo "screens kept in $out"
exit "$failed"
