#!/bin/sh
# Builds the packages with packaging/build_msi.py and runs the installer tests:
# Installer.* in a fresh 32-bit Wine prefix, Clients64.* in a fresh 64-bit one.
#   run-installer-tests.sh <build dir> <installer_tests.exe>
# Runs under code page 932 only and reports itself skipped (77) under 1252: the
# package holds ASCII names only and installs alike under both, and 932 is the
# code page under which the installed component meets Japanese file names.
set -eu
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "$1" && pwd)
program=$2
cp=${VESKER_CODEPAGE:-932}
if [ "$cp" != 932 ]; then
    echo "installer_tests: runs under code page 932 only"
    exit 77
fi

packages="$build/installer"
rm -rf "$packages"
mkdir -p "$packages"
build_msi() { python3 "$root/packaging/build_msi.py" --build "$build" --entries "$packages/entries.json" "$@" >/dev/null; }
build_msi --output "$packages/vesker.msi"
build_msi --output "$packages/vesker-rebuilt.msi"
build_msi --output "$packages/vesker-lower.msi" --lower-version
export VESKER_INSTALLER_DIR="Z:$(printf '%s' "$packages" | tr / '\\')\\" VESKER_SOURCE_DIR="$root"

# $1: prefix, $2: gtest filter; the Wine architecture comes from VESKER_WINEARCH.
# Output goes to a file, shown once the prefix's server has stopped: a
# surrogate (dllhost.exe) keeps inherited pipes open.
run_in_fresh_prefix() {
    prefix=$1
    WINEPREFIX="$prefix" wineserver -k 2>/dev/null || true
    rm -rf "$prefix" "$prefix.lock" "$prefix.out"
    mkdir -p "$prefix"
    WINEARCH=${VESKER_WINEARCH:-win32} WINEPREFIX="$prefix" wineserver -p </dev/null >/dev/null 2>&1
    status=0
    VESKER_WINEPREFIX="$prefix" "$root/scripts/wine-exec" "$build" "$program" --gtest_brief=1 \
        --gtest_filter="$2" </dev/null >"$prefix.out" 2>&1 || status=$?
    WINEPREFIX="$prefix" wineserver -k 2>/dev/null || true
    cat "$prefix.out"
    return $status
}

status=0
run_in_fresh_prefix "$build/wine-installer-$cp" 'Installer.*' || status=1
VESKER_WINEARCH=win64 run_in_fresh_prefix "$build/wine64-installer-$cp" 'Clients64.*' || status=1
exit $status
