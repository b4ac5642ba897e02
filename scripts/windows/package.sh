#!/usr/bin/env bash
# Builds the Windows installer KorvaneSetup-<version>.exe (scripts/package --windows): the client
# and its launcher cross-built with mingw-w64, the DLLs they load (found by following the import
# tables from the programs, libcurl and the plugins into the prefix of Windows libraries), the
# windows platform and GIF plugins, Qt's Chinese translation, packed by makensis.
#
# Usage: scripts/package --windows [--url URL] [--ca FILE|system] [--build-dir DIR] [--output DIR]
#        scripts/package --windows --use-build DIR [--output DIR]
# --use-build packs the programs of an existing Windows build as it stands (scripts/test-windows
# packs the one its tests ran on); otherwise build-package-windows/ is configured with the options.
set -euo pipefail
repo=$(cd "$(dirname "$0")/../.." && pwd)
build="$repo/build-package-windows"
output="$PWD"
url="https://127.0.0.1:8443"
ca="$repo/sim/pki/demo-ca.pem"
use_build=0
configured=0
while [ $# -gt 0 ]; do
    case "$1" in
        --url) url="$2"; configured=1; shift 2 ;;
        --ca) ca="$2"; [ "$ca" = system ] || ca="$(realpath "$ca")"; configured=1; shift 2 ;;
        --build-dir) build="$(realpath -m "$2")"; shift 2 ;;
        --use-build) build="$(realpath "$2")"; use_build=1; shift 2 ;;
        --output) output="$(realpath "$2")"; shift 2 ;;
        *) echo "package: unknown argument $1 (see --help)" >&2; exit 2 ;;
    esac
done
if [ "$use_build" = 1 ] && [ "$configured" = 1 ]; then
    echo "package: --use-build packs a build as it is configured; --url and --ca need a build of their own" >&2
    exit 2
fi
prefix=$(cd "$repo" && scripts/windows-deps | tail -n 1)
if [ "$use_build" = 0 ]; then
    launcher=""
    command -v ccache >/dev/null 2>&1 && launcher=ccache
    # Every option on every run, as for the Debian package.
    cmake -S "$repo" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKORVANE_WERROR=OFF \
          -DKORVANE_BUILD_TESTS=OFF -DKORVANE_BUILD_BENCH=OFF -DKORVANE_SANITIZE=OFF \
          "-DKORVANE_PLATFORM_URL=$url" "-DKORVANE_PLATFORM_CA=$ca" "-DCMAKE_CXX_COMPILER_LAUNCHER=$launcher" \
          -DCMAKE_TOOLCHAIN_FILE="$repo/cmake/mingw-toolchain.cmake" -DKORVANE_MINGW_PREFIX="$prefix" >/dev/null
fi
cmake --build "$build" --target korvane-client korvane-launcher
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
stage="$work/stage"
cmake --install "$build" --prefix "$stage" --component client --strip >/dev/null
mkdir -p "$stage/plugins/platforms" "$stage/plugins/imageformats" "$stage/translations"
cp "$prefix/plugins/platforms/qwindows.dll" "$stage/plugins/platforms/"
cp "$prefix/plugins/imageformats/qgif.dll" "$stage/plugins/imageformats/"
cp /usr/share/qt5/translations/qtbase_zh_CN.qm "$stage/translations/"
cp "$repo/packaging/windows/korvane.ico" "$stage/"
# Plugins and translations beside the programs.
printf '[Paths]\r\nPrefix=.\r\n' > "$stage/qt.conf"

# libcurl is loaded at run time, so no import table names it.
cp "$prefix/bin/libcurl-4.dll" "$stage/"
pending=("$stage/korvane-client.exe" "$stage/korvane-launcher.exe" "$stage/libcurl-4.dll"
         "$stage/plugins/platforms/qwindows.dll" "$stage/plugins/imageformats/qgif.dll")
declare -A seen=([libcurl-4.dll]=1)
while [ ${#pending[@]} -gt 0 ]; do
    file="${pending[0]}"
    pending=("${pending[@]:1}")
    while read -r dll; do
        [ -n "$dll" ] && [ -z "${seen[${dll,,}]:-}" ] || continue
        seen[${dll,,}]=1
        # System DLLs are not in the prefix.
        found=$(find "$prefix/bin" -maxdepth 1 -iname "$dll" -print -quit)
        [ -n "$found" ] || continue
        cp "$found" "$stage/"
        pending+=("$found")
    done < <(x86_64-w64-mingw32-objdump -p "$file" | sed -n 's/^\s*DLL Name: //p')
done
x86_64-w64-mingw32-strip --strip-unneeded "$stage"/*.dll "$stage"/plugins/*/*.dll

# The uninstaller removes exactly the staged files, then the folders from the deepest up.
(cd "$stage" && find . -type f | sort | sed 's|^\./||; s|/|\\|g; s|.*|Delete "$INSTDIR\\&"|'
 cd "$stage" && find . -mindepth 1 -type d | sort -r | sed 's|^\./||; s|/|\\|g; s|.*|RMDir "$INSTDIR\\&"|') \
    > "$work/uninstall.nsh"
setup="$output/KorvaneSetup-$version.exe"
makensis -V2 -INPUTCHARSET UTF8 "-DVERSION=$version" "-DSTAGE=$stage" "-DOUTFILE=$setup" \
    "-DUNINSTALL_LIST=$work/uninstall.nsh" "$repo/packaging/windows/installer.nsi" >&2
echo "package: $setup"
