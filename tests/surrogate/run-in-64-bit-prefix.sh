#!/bin/sh
# Runs one Windows program of the build in a 64-bit (WoW64) Wine prefix made
# for this run alone (build/wine64-<code page>), which no other test shares.
#   run-in-64-bit-prefix.sh <build dir> <program> [args...]
# The program's output goes to a file and is shown once the prefix's server
# has stopped: a surrogate (dllhost.exe) keeps inherited pipes open.
set -eu
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "$1" && pwd); shift
prefix="$build/wine64-${VESKER_CODEPAGE:-932}"
export VESKER_WINEPREFIX="$prefix" VESKER_WINEARCH=win64

stop_server() { WINEPREFIX="$prefix" wineserver -k 2>/dev/null || true; }
stop_server
rm -rf "$prefix" "$prefix.lock" "$prefix.out"
mkdir -p "$prefix"
# One persistent server for the whole run, and Wine's own services started now
# with their output detached.
WINEPREFIX="$prefix" wineserver -p </dev/null >/dev/null 2>&1
"$root/scripts/wine-exec" "$build" cmd /c exit 0 </dev/null >/dev/null 2>&1 || true
status=0
"$root/scripts/wine-exec" "$build" "$@" </dev/null >"$prefix.out" 2>&1 || status=$?
stop_server
cat "$prefix.out"
exit $status
