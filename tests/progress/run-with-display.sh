#!/bin/sh
# Runs the progress window tests on a display: the one in DISPLAY, or a virtual
# one (Xvfb) started here and stopped at the end. They run in a Wine prefix of
# their own whose server starts with the display known, so that Wine's desktop
# draws on it (a server started without one, as the suite's is, gives windows
# nothing to draw on); that server is stopped at the end too. The screenshot of
# the progress window the tests leave as a BMP becomes a PNG beside it.
#   run-with-display.sh <build dir> <program> [args...]
set -eu
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "$1" && pwd); shift
cp=${VESKER_CODEPAGE:-932}
prefix="$build/wine-progress-$cp"
shot="$build/progress-window-$cp"
xvfb="" displayfile=""

stop() {
    WINEPREFIX="$prefix" wineserver -k 2>/dev/null || true
    if [ -n "$xvfb" ]; then
        kill "$xvfb" 2>/dev/null || true
        wait "$xvfb" 2>/dev/null || true
    fi
    [ -z "$displayfile" ] || rm -f "$displayfile"
}
trap stop EXIT
trap 'exit 1' INT TERM

if [ -z "${DISPLAY:-}" ]; then
    command -v Xvfb >/dev/null || { echo "run-with-display: Xvfb is missing (scripts/install-deps installs it)" >&2; exit 1; }
    displayfile=$(mktemp)
    # -displayfd: Xvfb picks a free display and writes its number once it accepts clients.
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$displayfile" </dev/null >/dev/null 2>&1 &
    xvfb=$!
    tries=0
    while [ ! -s "$displayfile" ]; do
        kill -0 "$xvfb" 2>/dev/null || { echo "run-with-display: Xvfb did not start" >&2; exit 1; }
        tries=$((tries + 1))
        [ "$tries" -le 300 ] || { echo "run-with-display: Xvfb gave no display within 30 s" >&2; exit 1; }
        sleep 0.1
    done
    DISPLAY=":$(head -n 1 "$displayfile")"
    export DISPLAY
fi

WINEPREFIX="$prefix" wineserver -k 2>/dev/null || true
mkdir -p "$prefix"
# One persistent server for the run, started with the display known, and
# Wine's own services started now with their output detached, so that none
# holds the output of the tests.
WINEARCH=win32 WINEPREFIX="$prefix" wineserver -p </dev/null >/dev/null 2>&1
VESKER_WINEPREFIX="$prefix" "$root/scripts/wine-exec" "$build" cmd /c exit 0 </dev/null >/dev/null 2>&1 || true
# A virtual display has no window manager: Wine draws the windows' frames and
# captions itself, so that the screenshot shows them.
VESKER_WINEPREFIX="$prefix" "$root/scripts/wine-exec" "$build" reg add 'HKCU\Software\Wine\X11 Driver' \
    /v Managed /d N /f </dev/null >/dev/null 2>&1 || true
rm -f "$shot.bmp" "$shot.png"
status=0
VESKER_WINEPREFIX="$prefix" VESKER_PROGRESS_SHOT="Z:$(printf '%s' "$shot.bmp" | tr / '\\')" \
    "$root/scripts/wine-exec" "$build" "$@" || status=$?
if [ -f "$shot.bmp" ]; then
    convert "$shot.bmp" "$shot.png" && rm -f "$shot.bmp" || status=1
fi
exit $status
