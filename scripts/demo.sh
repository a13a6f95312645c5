#!/usr/bin/env bash
# Runs Tolvane_Down against a virtual Tavo unit, as a new user would try it.
#
#   scripts/demo.sh [BUILD_DIR]        (make demo calls it with the build folder)
#
# Creates the run folder BUILD_DIR/run with the program's data files, starts a virtual unit
# there with a fresh state (plugged in, normal mode), starts the program in that folder and
# stops the unit when the program ends.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-build}
case $build in
/*) ;;
*) build=$root/$build ;;
esac
bin=$build/bin
run=$build/run
socket=$run/unit.sock

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "demo: there is no display to show the window on (neither DISPLAY nor WAYLAND_DISPLAY is set)." >&2
    echo "demo: run it from a desktop session, or under a virtual X server: xvfb-run -a make demo" >&2
    exit 1
fi

for program in Tolvane_Down tavo-unit; do
    if [ ! -x "$bin/$program" ]; then
        echo "demo: $bin/$program is missing; build first (make build)." >&2
        exit 1
    fi
done

mkdir -p "$run"
rm -rf "$run/unit-state" "$socket" "$run/unit-trace.txt"
cp "$bin/Tavo_UIText.txt" "$run/"
if [ -f "$bin/Tavo_VersionInfo.txt" ]; then
    cp "$bin/Tavo_VersionInfo.txt" "$run/"
fi

"$bin/tavo-unit" serve --socket "$socket" --state "$run/unit-state" \
    --trace "$run/unit-trace.txt" &
unit_pid=$!
stop_unit() {
    kill "$unit_pid" 2>/dev/null || true
    wait "$unit_pid" 2>/dev/null || true
}
trap stop_unit EXIT

for _ in $(seq 50); do
    [ -S "$socket" ] && break
    if ! kill -0 "$unit_pid" 2>/dev/null; then
        echo "demo: the virtual unit did not start." >&2
        exit 1
    fi
    sleep 0.1
done
if [ ! -S "$socket" ]; then
    echo "demo: the virtual unit did not open $socket." >&2
    exit 1
fi

ctl="$bin/tavo-unit ctl --socket $socket"
cat <<TEXT
Tolvane_Down runs in $run against a virtual Tavo unit (plugged in, normal mode).
Drive the unit from another terminal:
  $ctl unplug        take the USB cable out
  $ctl plug          put it back in
  $ctl boot on       hold the POI button: the next plug-in comes up in boot mode
  $ctl boot off      release it
  $ctl status        what the unit reports
Ctrl+F7 in the window unlocks the Diagnosis page. The unit's packets are logged in
$run/unit-trace.txt. Close the window to end the demo.
TEXT

export TAVO_UNIT_SOCKET=$socket
status=0
(cd "$run" && "$bin/Tolvane_Down") || status=$?
exit "$status"
