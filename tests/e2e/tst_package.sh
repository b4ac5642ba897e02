#!/usr/bin/env bash
# The Debian package as a user gets it: built by cpack from this build tree, named after the
# project's version, depending on OpenVPN and on the libraries the binary (and the libcurl it
# carries) uses, without maintainer
# scripts (installing changes nothing beyond its files), with the icons a desktop asks for, a
# desktop entry that passes desktop-file-validate, man pages, no lintian error; and the launcher
# keeps the client's files in the XDG data folder, which only the user can read.
# Usage: tst_package.sh <build dir> <source dir>. Exit 77: a tool is missing (skipped).
set -euo pipefail
build="$1"
source="$2"
for tool in cpack dpkg-deb desktop-file-validate lintian; do
    command -v "$tool" >/dev/null 2>&1 || { echo "SKIP: $tool is not installed"; exit 77; }
done
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

version="$(sed -n 's/^project([^)]*VERSION \([0-9.]*\).*/\1/p' "$source/CMakeLists.txt")"
arch="$(dpkg --print-architecture)"
(cd "$build" && cpack -G DEB -B "$work/out" >"$work/cpack.log" 2>&1) || { cat "$work/cpack.log"; fail "cpack"; }
deb="$work/out/korvane-client_${version}_${arch}.deb"
[ -f "$deb" ] || fail "no $(basename "$deb"): $(ls "$work/out")"

[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "version $(dpkg-deb -f "$deb" Version)"
depends="$(dpkg-deb -f "$deb" Depends)"
# libcurl: the client's own in the package (scripts/lean-curl), with OpenSSL's library; or Debian's.
carried=""
[ -f "$build/lib/korvane-client/curl/libcurl.so.4" ] && carried=lib/korvane-client/curl/libcurl.so.4
for needed in openvpn libqt5widgets5 libc6 $([ -n "$carried" ] && echo libssl3 || echo libcurl4); do
    [[ ", $depends," == *", $needed"[\ ,]* ]] || fail "Depends lacks $needed: $depends"
done
dpkg-deb -e "$deb" "$work/control"
for script in preinst postinst prerm postrm config triggers; do
    [ ! -e "$work/control/$script" ] || fail "maintainer script $script"
done

dpkg-deb -x "$deb" "$work/root"
root="$work/root/usr"
for size in 16 22 24 32 48 64 128 256; do
    icon="$root/share/icons/hicolor/${size}x${size}/apps/korvane.png"
    [ -f "$icon" ] || fail "no ${size}px icon"
    # The PNG header's width (bytes 17-20) is the size the folder promises.
    width=$((16#$(od -An -tx1 -j16 -N4 "$icon" | tr -d ' \n')))
    [ "$width" -eq "$size" ] || fail "${size}px icon is $width px wide"
done
[ -f "$root/share/icons/hicolor/scalable/apps/korvane.svg" ] || fail "no scalable icon"
for file in bin/korvane-client bin/korvane-launcher share/man/man1/korvane-client.1.gz \
            share/man/man1/korvane-launcher.1.gz share/doc/korvane-client/copyright; do
    [ -f "$root/$file" ] || fail "no /usr/$file"
done
[ -z "$carried" ] || [ -f "$root/$carried" ] || fail "no /usr/$carried"
[ -z "$carried" ] || [[ "$depends" != *libcurl4* ]] || fail "depends on libcurl4 as well: $depends"
[ ! -e "$root/bin/korvane-platform-sim" ] || fail "the simulator is in the package"
desktop-file-validate "$root/share/applications/korvane.desktop" || fail "desktop entry"
grep -q '^Exec=korvane-launcher' "$root/share/applications/korvane.desktop" || fail "entry does not run the launcher"
errors="$(lintian --suppress-tags-from-file /dev/null "$deb" 2>&1 | grep '^E:' || true)"
[ -z "$errors" ] || fail "lintian: $errors"

# The packaged client runs; through the launcher its files land in the XDG data folder.
[ "$("$root/bin/korvane-client" --version | head -n1)" = "korvane-client $version" ] || fail "--version"
mkdir -p "$work/home" "$work/elsewhere"
mkdir -p -m 0755 "$work/data/korvane" # as an earlier version left it
(cd "$work/elsewhere" && env -i HOME="$work/home" XDG_DATA_HOME="$work/data" PATH="$root/bin:/usr/bin:/bin" \
    "$root/bin/korvane-launcher" --diagnostics bundle.tar.gz >"$work/launcher.log" 2>&1) ||
    { cat "$work/launcher.log"; fail "launcher"; }
[ -f "$work/data/korvane/bundle.tar.gz" ] || fail "bundle not in the data folder: $(cat "$work/launcher.log")"
[ "$(stat -c %a "$work/data/korvane")" = 700 ] || fail "data folder mode $(stat -c %a "$work/data/korvane")"
[ -z "$(find "$work/elsewhere" "$work/home" -mindepth 1)" ] || fail "files outside the data folder"
echo "PASS: $(basename "$deb")"
