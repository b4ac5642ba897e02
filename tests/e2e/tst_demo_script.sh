#!/usr/bin/env bash
# The demo script's rights and clean-up: without root or sudo it refuses the far end and says why;
# a far end whose demo was stopped, killed outright, or that was itself killed outright leaves
# nothing behind (namespace, veth, processes, files, the capability copy of openvpn).
# Usage: tst_demo_script.sh <korvane-platform-sim> <source dir>. Needs root (exit 77 otherwise).
set -uo pipefail
sim="$1"
source_dir="$2"
far_end="$source_dir/scripts/demo-far-end"

if [ "$(id -u)" -ne 0 ] || ! command -v openvpn >/dev/null || ! command -v setpriv >/dev/null ||
    ! ip netns add kvdemo-probe-$$ 2>/dev/null; then
    echo "SKIP: needs root, openvpn, setpriv and network namespaces"
    exit 77
fi
ip netns delete kvdemo-probe-$$

passes=0 failures=0
check() { # description, command...
    local what="$1"
    shift
    if "$@"; then
        echo "ok: $what"
        passes=$((passes + 1))
    else
        echo "FAIL: $what"
        failures=$((failures + 1))
    fi
}

work="$(mktemp -d)"
holder=""
trap 'rm -rf "$work"; [ -n "$holder" ] && kill "$holder" 2>/dev/null; bash "$far_end" clean >/dev/null 2>&1' EXIT

# --- Without root or sudo: a copy of the scripts nobody can read, a PATH without sudo.
mkdir -p "$work/src/scripts" "$work/bin"
cp "$source_dir/scripts/demo" "$source_dir/scripts/demo-far-end" "$work/src/scripts/"
for tool in bash id dirname cat; do ln -s "$(command -v "$tool")" "$work/bin/$tool"; done
chmod -R a+rX "$work"
output="$(cd / && setpriv --reuid=nobody --regid=nogroup --clear-groups env -i PATH="$work/bin" \
    bash "$work/src/scripts/demo" --far-end </dev/null 2>&1)"
status=$?
check "refused without root or sudo (exit $status)" test "$status" -ne 0
check "says the far end needs root or sudo" grep -q "needs root or sudo" <<<"$output"
check "says how to get it" grep -q "Run the demo as root, or as a user who may use sudo" <<<"$output"
check "made no namespace" test ! -e /run/netns/korvane-demo
echo "$output" | sed 's/^/    | /'

# --- Runs that end in different ways.
far_pids=()
start_far_end() { # extra serve options
    rm -f "$work/stdin"
    mkfifo "$work/stdin"
    bash "$far_end" serve --sim "$sim" --until-eof "$@" <"$work/stdin" &
    serve_pid=$!
    sleep 1000 >"$work/stdin" &
    holder=$!
    for _ in $(seq 300); do
        [ -f /run/korvane-demo/ready ] && break
        sleep 0.1
    done
    mapfile -t far_pids < <(ip netns pids korvane-demo 2>/dev/null)
    check "far end up with its servers and device pages" test -f /run/korvane-demo/ready -a "${#far_pids[@]}" -eq 3
}

nothing_left() {
    local left=0 pid
    [ -e /run/netns/korvane-demo ] && echo "    namespace korvane-demo left" && left=1
    ip link show kvdemo0 >/dev/null 2>&1 && echo "    veth kvdemo0 left" && left=1
    [ -e /run/korvane-demo ] && echo "    /run/korvane-demo left" && left=1
    [ -e /run/korvane-demo.lock ] && echo "    /run/korvane-demo.lock left" && left=1
    [ -e "$work/caps/openvpn" ] && echo "    the capability copy left" && left=1
    for pid in "${far_pids[@]}"; do
        if [ -e "/proc/$pid" ] && ! grep -q '^State:.*Z' "/proc/$pid/status" 2>/dev/null; then
            echo "    process $pid of the far end left: $(tr '\0' ' ' <"/proc/$pid/cmdline")"
            left=1
        fi
    done
    return $left
}

wait_gone() { # pid
    for _ in $(seq 100); do kill -0 "$1" 2>/dev/null || return 0; sleep 0.1; done
    return 1
}

# The demo ends (or is stopped): its end of the pipe closes.
start_far_end --cap-copy "$work/caps"
check "the capability copy has cap_net_admin" bash -c "getcap '$work/caps/openvpn' | grep -q cap_net_admin"
kill "$holder"
check "far end ended with its demo" wait_gone "$serve_pid"
check "nothing left after the demo ended" nothing_left

# The demo is killed outright: the pipe closes all the same, and the client's openvpn (here a
# stand-in by that name, working in the client's directory) goes with the far end.
mkdir -p "$work/client"
cp "$(command -v sleep)" "$work/openvpn"
(cd "$work/client" && exec "$work/openvpn" 1000) &
client_openvpn=$!
start_far_end --client-dir "$work/client"
kill -KILL "$holder"
wait "$holder" 2>/dev/null
check "far end ended after its demo was killed" wait_gone "$serve_pid"
check "the client's openvpn went with it" wait_gone "$client_openvpn"
check "nothing left after the demo was killed" nothing_left

# The far end is stopped with SIGTERM, as Ctrl+C or a kill does.
start_far_end --cap-copy "$work/caps"
kill -TERM "$serve_pid"
check "far end ended on SIGTERM" wait_gone "$serve_pid"
check "nothing left after SIGTERM" nothing_left
kill "$holder"

# The far end itself is killed outright: the next run (or clean) removes what it left.
start_far_end --cap-copy "$work/caps"
kill -KILL "$serve_pid"
wait "$serve_pid" 2>/dev/null
check "a killed far end leaves its namespace (the case clean is for)" test -e /run/netns/korvane-demo
check "clean succeeds" bash "$far_end" clean
check "nothing left after clean" nothing_left
kill "$holder" 2>/dev/null
holder=""

echo "$passes passed, $failures failed"
[ "$failures" -eq 0 ]
