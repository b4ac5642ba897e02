#!/usr/bin/env bash
# scripts/package builds what it is asked for on every run, whatever an earlier run left in its
# build folder: a package for the simulator after one for a real platform carries the simulator's
# URL and the demo CA again. Configures for real; the build and cpack are stood in for.
# Usage: tst_package_options.sh <source dir>.
set -euo pipefail
source="$1"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

mkdir -p "$work/bin" "$work/out"
real_cmake="$(command -v cmake)"
cat >"$work/bin/cmake" <<STUB
#!/bin/sh
[ "\$1" = --build ] && exit 0
exec "$real_cmake" "\$@"
STUB
cat >"$work/bin/cpack" <<'STUB'
#!/bin/sh
while [ "$1" != -B ]; do shift; done
touch "$2/korvane-client_0_test.deb"
STUB
chmod +x "$work/bin/cmake" "$work/bin/cpack"
echo "not the demo CA" >"$work/platform-ca.pem"

package() {
    PATH="$work/bin:$PATH" "$source/scripts/package" --build-dir "$work/build" --output "$work/out" "$@" \
        >"$work/package.log" 2>&1 || { cat "$work/package.log"; fail "scripts/package $*"; }
}
cached() { sed -n "s/^$1:[A-Z]*=//p" "$work/build/CMakeCache.txt"; }

package --url https://platform.korvane.example:443 --ca "$work/platform-ca.pem"
[ "$(cached KORVANE_PLATFORM_URL)" = https://platform.korvane.example:443 ] || fail "URL $(cached KORVANE_PLATFORM_URL)"
[ "$(cached KORVANE_PLATFORM_CA)" = "$work/platform-ca.pem" ] || fail "CA $(cached KORVANE_PLATFORM_CA)"

package
[ "$(cached KORVANE_PLATFORM_URL)" = https://127.0.0.1:8443 ] || fail "second run kept URL $(cached KORVANE_PLATFORM_URL)"
[ "$(cached KORVANE_PLATFORM_CA)" = "$source/sim/pki/demo-ca.pem" ] ||
    fail "second run kept CA $(cached KORVANE_PLATFORM_CA)"

package --ca system
[ "$(cached KORVANE_PLATFORM_CA)" = system ] || fail "CA $(cached KORVANE_PLATFORM_CA)"
echo "PASS"
