#!/usr/bin/env bash
# Runs a test program under Wine with its output through files. Wine gives a console program that
# a test starts (the stand-in, cmd.exe, taskkill) a console host of its own, which holds the test's
# standard output and can stay after the test has ended: CTest would wait on that pipe until its
# timeout. The console hosts left over end with the Wine prefix's server (windows_wineserver_stop).
# A QtTest program's own report is lost on Wine's standard output: it goes to a file as well.
wine="$1"
shift
output=$(mktemp)
report=$(mktemp)
trap 'rm -f "$output" "$report"' EXIT
arguments=("$@")
case "$1" in
    *.exe) arguments+=(-o "$report,txt") ;;
esac
status=0
"$wine" "${arguments[@]}" >"$output" 2>&1 </dev/null || status=$?
cat "$output" "$report"
exit "$status"
