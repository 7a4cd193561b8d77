#!/bin/sh
# Runs one Windows program of the build in a Wine prefix made for this run
# alone, so that it starts from a registry that holds nothing of vesker.
#   run-in-fresh-prefix.sh <build dir> <program> [args...]
set -eu
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "$1" && pwd); shift
prefix="$build/wine-integration-${VESKER_CODEPAGE:-932}"

stop_server() { WINEPREFIX="$prefix" wineserver -k 2>/dev/null || true; }
stop_server
rm -rf "$prefix" "$prefix.lock"
mkdir -p "$prefix"
# One persistent server for the whole run: each Wine start then costs less.
WINEARCH=win32 WINEPREFIX="$prefix" wineserver -p </dev/null >/dev/null 2>&1
status=0
VESKER_WINEPREFIX="$prefix" "$root/scripts/wine-exec" "$build" "$@" || status=$?
stop_server
exit $status
