# Sourced by the scripts that drive Windows programs under Wine on a virtual X display.

# Runs the command every 0.1 s until it succeeds, for at most the given seconds.
wait_for() {
    local seconds=$1
    shift
    for _ in $(seq $((seconds * 10))); do "$@" && return 0; sleep 0.1; done
    echo "timed out: $*" >&2
    return 1
}

# The client's visible top-level window at least this wide (Wine's desktop window is the screen's
# size, 1366 px).
window_of() {
    local id width
    for id in $(xdotool search --onlyvisible --name '.*' 2>/dev/null); do
        width=$(xdotool getwindowgeometry --shell "$id" | sed -n 's/^WIDTH=//p')
        [ "${width:-0}" -ge "$1" ] && [ "$width" -lt 1366 ] && echo "$id" && return 0
    done
    return 1
}
