#!/usr/bin/env bash
# The installer's round trip under Wine, in a Wine prefix of its own: a silent install (/S), the
# start-menu entry's launcher starting the installed client to its login dialog (windows platform
# plugin, on a virtual X display), an uninstall refused while the client runs, then a silent
# uninstall that leaves nothing but the user's data folder. Part of scripts/test-windows.
# Usage: scripts/windows/installer-round-trip.sh KorvaneSetup-<version>.exe [screenshot.png]
set -euo pipefail
setup=$(realpath "$1")
shot=${2:+$(realpath -m "$2")}
prefix=$(cd "$(dirname "$0")/../.." && scripts/windows-deps --no-packages | tail -n 1)
work=$(mktemp -d)
display=":$((600 + RANDOM % 100))"
xvfb=""
cleanup() { [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null; wineserver -k 2>/dev/null || true; rm -rf "$work"; }
trap cleanup EXIT
export WINEPREFIX="$work/wine" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" DISPLAY="$display"
# Only what the installer brings: no library folder of the prefix on Wine's search path.
unset WINEPATH
user=$(id -un)
fail() { echo "installer round trip: $*" >&2; exit 1; }
# No process of this Wine prefix has that name.
gone() {
    local pid
    for pid in $(pgrep -f "$1"); do
        tr '\0' '\n' < "/proc/$pid/environ" 2>/dev/null | grep -qxF "WINEPREFIX=$WINEPREFIX" && return 1
    done
    return 0
}
. "$(dirname "$0")/x11-wait.sh"
Xvfb "$display" -screen 0 1366x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
wineboot -i >/dev/null 2>&1
wineserver -w
drive="$WINEPREFIX/drive_c"
installed="$drive/Program Files/Korvane Remote Access"
shortcut="$drive/ProgramData/Microsoft/Windows/Start Menu/Programs/Korvane远程接入.lnk"
user_data="$drive/users/$user/AppData/Local/Korvane"
key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\KorvaneRemoteAccess'
# Wine's own files that change by themselves (temporary files, caches) do not count.
files() { (cd "$drive" && find . -path ./windows -prune -o -path "./users/$user/Temp" -prune -o -print | sort); }
files > "$work/before"

echo "installer round trip: silent install"
wine "$setup" /S
wineserver -w
for file in korvane-client.exe korvane-launcher.exe qt.conf uninstall.exe Qt5Widgets.dll libcurl-4.dll \
            plugins/platforms/qwindows.dll plugins/imageformats/qgif.dll translations/qtbase_zh_CN.qm; do
    [ -f "$installed/$file" ] || fail "$file was not installed"
done
[ -f "$shortcut" ] || fail "no start-menu entry"
wine reg query "$key" /v UninstallString >/dev/null 2>&1 || fail "no uninstall entry in the registry"

echo "installer round trip: the installed client, started by its launcher"
wine "$installed/korvane-launcher.exe"
# The login dialog.
wait_for 120 window_of 1000 >/dev/null || fail "the installed client showed no login dialog"
# The client claims its working directory with a lock file there.
[ -f "$user_data/.korvane-client.lock" ] || fail "the client did not start in the user's data folder"
if [ -n "$shot" ]; then
    sleep 2
    import -display "$display" -window root "$shot"
fi

echo "installer round trip: install and uninstall while the client runs"
touch -d 2000-01-01 "$installed/qt.conf"
status=0
wine "$setup" /S || status=$?
[ "$status" -ne 0 ] || fail "an install over the running client reported success"
[ "$(stat -c %Y "$installed/qt.conf")" = "$(date -d 2000-01-01 +%s)" ] || fail "an install over the running client replaced files"
wine "$installed/uninstall.exe" /S
# The uninstaller runs on from a copy in the temporary folder (Un_A.exe).
sleep 1
wait_for 60 gone 'Un_.\.exe' || fail "the uninstaller did not end"
[ -f "$installed/qt.conf" ] && [ -f "$installed/uninstall.exe" ] || fail "the uninstaller removed files of a running client"
wine taskkill /IM korvane-client.exe /F >/dev/null 2>&1
wait_for 30 gone korvane-client.exe || fail "the client did not end"

echo "installer round trip: silent uninstall"
wine "$installed/uninstall.exe" /S
wineserver -w
[ ! -e "$installed" ] || fail "left in Program Files: $(cd "$installed" && find . | head)"
[ ! -e "$shortcut" ] || fail "the start-menu entry is left"
! wine reg query "$key" >/dev/null 2>&1 || fail "the uninstall entry is left in the registry"
[ -d "$user_data" ] || fail "the user's data folder was removed"
files | grep -v "^\./users/$user/AppData/Local/Korvane" > "$work/after"
diff "$work/before" "$work/after" >&2 || fail "the uninstall left files behind"
echo "installer round trip: passed"
