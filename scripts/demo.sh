#!/usr/bin/env bash
# Runs Tolvane_Down against a virtual Tavo unit, a local update server and a local product web
# page, as a new user would try it.
#
#   scripts/demo.sh [BUILD_DIR]        (make demo calls it with the build folder)
#
# Creates the run folder BUILD_DIR/run with the program's data files, starts a virtual unit
# there with a fresh state (plugged in, normal mode), writes an update tree that offers newer
# content than the unit holds and serves it with a real FTP server on 127.0.0.1, serves the
# product page (res/web) over HTTP on 127.0.0.1, starts the program in that folder with the
# unit's panel window beside it, and stops the panel, the servers and the unit when the
# program ends.
#
# The program uses the user's own profile (~/.config/Ostrel updater/Tolvane_Down.ini) and
# documents folder, as it does outside the demo. For the length of the demo the profile's
# "UpdateServer" and "WebHost" point at the local servers; their previous values are put back
# when the demo ends.
set -euo pipefail

name=demo
# shellcheck source=scripts/servers.sh
. "$(dirname "$0")/servers.sh"
use_build_folder "${1:-}"
run=$build/run
socket=$run/unit/unit.sock # serve makes its folder, for this user only

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "demo: there is no display to show the window on (neither DISPLAY nor WAYLAND_DISPLAY is set)." >&2
    echo "demo: run it from a desktop session, or under a virtual X server: xvfb-run -a make demo" >&2
    exit 1
fi

need_programs Tolvane_Down tavo-unit tavo-unit-panel
need_pyftpdlib

mkdir -p "$run"
rm -rf "$run/unit-state" "$socket" "$run/unit-trace.txt" "$run/server" "$run/web"
cp "$bin/Tavo_UIText.txt" "$run/"
cp -r "$root/res/web" "$run/web"

# The update tree and the catalogue that matches it. Content of a realistic size (a 2 MiB
# database), so that the progress of each stage can be watched.
"$bin/tavo-unit" make-server "$run/server" \
    --db-size 2097152 --voice-size 1048576 --image-size 524288 >/dev/null
cp "$run/server/Tavo_VersionInfo.txt" "$run/"

unit_pid=
ftp_pid=
panel_pid=
web_pid=
stop_all() {
    for pid in $panel_pid $web_pid $ftp_pid $unit_pid; do
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
}
trap stop_all EXIT

# Paced as a real unit on a full-speed USB port.
start_unit /dev/stdout "$socket" --state "$run/unit-state" --trace "$run/unit-trace.txt" \
    --pace usb-full-speed
# A few POIs, so that View on the POI page has something to list.
"$bin/tavo-unit" ctl --socket "$socket" poi-seed 5 >/dev/null

# The update server on a free port of the loopback interface, read-only for anonymous users.
start_ftp "$run/server" "$run/ftp-log.txt"
server=ftp://127.0.0.1:$ftp_port/down/fw/Tavo

# The product page, served by a plain static file server on another free port: the page's
# address names the folder pc_soft_hardware.asp, whose index.html shows the language of the
# query. The server writes "Serving HTTP on 127.0.0.1 port N" once it listens.
"$python" -u -m http.server --bind 127.0.0.1 --directory "$run/web" 0 >"$run/web-log.txt" 2>&1 &
web_pid=$!
web_port=
for _ in $(seq 50); do
    web_port=$(sed -n 's/^Serving HTTP on 127\.0\.0\.1 port \([0-9]*\).*/\1/p' "$run/web-log.txt")
    [ -n "$web_port" ] && break
    if ! kill -0 "$web_pid" 2>/dev/null; then
        break
    fi
    sleep 0.1
done
if [ -z "$web_port" ]; then
    echo "demo: the web server did not start (see $run/web-log.txt)." >&2
    exit 1
fi
web_host=127.0.0.1:$web_port

# Sets the string $1 in section Tavo_Config of the profile to $2, or removes it when $2 is
# empty; every other value of the profile stays.
set_profile_string() {
    local key=$1 value=$2
    touch "$profile"
    awk -v key="$key" -v server="$value" '
        function add() { if (server != "" && !done) print key "=" server; done = 1 }
        /^\[/ { if (in_section) add(); in_section = ($0 == "[Tavo_Config]"); if (in_section) seen = 1 }
        in_section && index($0, key "=") == 1 { next }
        { print }
        END { if (in_section) add()
              else if (!seen && server != "") { print "[Tavo_Config]"; add() } }
    ' "$profile" >"$profile.new"
    mv "$profile.new" "$profile"
}

profile="${XDG_CONFIG_HOME:-$HOME/.config}/Ostrel updater/Tolvane_Down.ini"
mkdir -p "$(dirname "$profile")"

# Downloads go to the documents folder (the program creates it when the account has none);
# told to the user at the end.
documents=$(
    user_dirs="${XDG_CONFIG_HOME:-$HOME/.config}/user-dirs.dirs"
    # shellcheck disable=SC1090
    [ -f "$user_dirs" ] && . "$user_dirs"
    echo "${XDG_DOCUMENTS_DIR:-$HOME/Documents}"
)
# The string $1 of section Tavo_Config of the profile, empty when it has none.
profile_string() {
    [ -f "$profile" ] || return 0
    awk -v key="$1" '
        /^\[/ { in_section = ($0 == "[Tavo_Config]") }
        in_section && index($0, key "=") == 1 { print substr($0, length(key) + 2); exit }' "$profile"
}
previous_server=$(profile_string UpdateServer)
previous_web_host=$(profile_string WebHost)
set_profile_string UpdateServer "$server"
set_profile_string WebHost "$web_host"
restore_and_stop() {
    set_profile_string UpdateServer "$previous_server"
    set_profile_string WebHost "$previous_web_host"
    stop_all
}
trap restore_and_stop EXIT

ctl="$bin/tavo-unit ctl --socket $socket"
cat <<TEXT
Tolvane_Down runs in $run against a virtual Tavo unit (plugged in, normal mode) and an
update server at $server that offers newer content than the unit holds.
The Connection page shows the product page from http://$web_host; choose Français and
Apply for the French texts and page.
Press UPDATE on the Update page, then unplug and plug the unit to see the new versions.
Drive the unit with the "Tavo virtual unit" window, or from another terminal:
  $ctl unplug        take the USB cable out
  $ctl plug          put it back in
  $ctl boot on       hold the POI button: the next plug-in comes up in boot mode
  $ctl boot off      release it
  $ctl status        what the unit reports
  $ctl settings      the settings record it stores (64 bytes in hex; Save on the Setup page)
  $ctl poi-seed N    N POIs in the unit (0 erases them), then View on the POI page
To recover a unit: boot on, unplug, plug; then Update on the Reset page (Auto takes
the firmware from the server, Manual a .bin file, e.g. $run/server/down/fw/Tavo/FW/TavoFw.bin).
Ctrl+F7 in the window unlocks the Diagnosis page; its check takes the unit 3 s:
  $ctl damage db     spoil the database: the next check shows "DB - Damaged." (also voice, image)
  $ctl repair db     undo it
  $ctl check-delay MS  make the check take MS milliseconds (to try closing it early)
The unit's packets are logged in $run/unit-trace.txt; downloads land in $documents.
The profile is $profile. Close the window to end the demo.
TEXT

# The virtual unit's window beside the program: plug, unplug, the POI button, faults.
"$bin/tavo-unit" panel --socket "$socket" &
panel_pid=$!

export TAVO_UNIT_SOCKET=$socket
status=0
(cd "$run" && "$bin/Tolvane_Down") || status=$?
exit "$status"
