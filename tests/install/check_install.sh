#!/usr/bin/env bash
# Installs the build into a temporary DESTDIR under the package's prefix (/usr), checks the
# installed files, validates the desktop entries and the metainfo, then starts the installed
# program on a virtual X server against an installed virtual unit, twice: from its desktop
# entry's command and folder, and through the tolvane-down launcher from another folder.
# Each start passes once the program's window titled "Tavo V0.9 [USB : OK]" exists: the
# program found its UI texts in its folder and libVexaUSB.so through its run path.
#
#   check_install.sh BUILD_DIR BINDIR PKGLIBDIR DATADIR     (the three folders relative)
set -euo pipefail

title='"Tavo V0.9 [USB : OK]"'
desktop_id=invalid.ostrel.TolvaneDown
panel_id=invalid.ostrel.TavoUnitPanel

fail() {
    echo "install_tree: $*" >&2
    exit 1
}

# Second stage, on the virtual X server: check_install.sh --windows ROOT BINDIR DATADIR
if [ "${1:-}" = --windows ]; then
    root=$2 bindir=$3 datadir=$4
    work=$(mktemp -d)
    unit_pid= program_pid=
    cleanup() {
        for pid in $program_pid $unit_pid; do
            kill "$pid" 2>/dev/null || true
            wait "$pid" 2>/dev/null || true
        done
        rm -rf "$work"
    }
    trap cleanup EXIT
    # A home of its own, so the program's profile and caches stay out of the user's.
    export HOME=$work/home XDG_CONFIG_HOME=$work/home/.config XDG_DATA_HOME=$work/home/.local/share \
        XDG_CACHE_HOME=$work/home/.cache XDG_RUNTIME_DIR=$work/run TAVO_UNIT_SOCKET=$work/unit.sock \
        QT_QPA_PLATFORM=xcb
    # The program must find libVexaUSB.so through its own run path, not the build's.
    unset LD_LIBRARY_PATH
    mkdir -p "$HOME" "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"

    "$root/$bindir/tavo-unit" serve --state "$work/state" >"$work/unit.log" 2>&1 &
    unit_pid=$!
    for _ in $(seq 100); do
        [ -S "$TAVO_UNIT_SOCKET" ] && break
        sleep 0.1
    done
    [ -S "$TAVO_UNIT_SOCKET" ] || fail "the installed tavo-unit did not serve: $(cat "$work/unit.log")"

    # Starts "$@" in folder $1 and waits until the program's window exists.
    expect_window() {
        local folder=$1 how=$2
        shift 2
        (cd "$folder" && exec "$@") >"$work/program.log" 2>&1 &
        program_pid=$!
        for _ in $(seq 300); do
            if xwininfo -root -tree | grep -qF "$title"; then
                kill "$program_pid"
                wait "$program_pid" 2>/dev/null || true
                program_pid=
                return 0
            fi
            kill -0 "$program_pid" 2>/dev/null || break
            sleep 0.2
        done
        fail "started $how, no window $title: $(cat "$work/program.log")"
    }

    entry=$root/$datadir/applications/$desktop_id.desktop
    exec_line=$(sed -n 's/^Exec=//p' "$entry")
    path_line=$(sed -n 's/^Path=//p' "$entry")
    [ -n "$exec_line" ] && [ -n "$path_line" ] || fail "$entry has no Exec or no Path"
    # The entry names its final places; in the DESTDIR they lie under the root.
    expect_window "$root$path_line" "from the desktop entry" "$root$exec_line"
    expect_window / "by tolvane-down" "$root/$bindir/tolvane-down"
    exit 0
fi

build=$1 bindir=$2 pkglibdir=$3 datadir=$4
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
root=$work/root

DESTDIR=$root "${CMAKE:-cmake}" --install "$build" --prefix /usr >"$work/install.log" 2>&1 ||
    fail "cmake --install failed: $(cat "$work/install.log")"

expected=(
    "usr/$bindir/Tolvane_Down"
    "usr/$bindir/tolvane-down"
    "usr/$bindir/tavo-unit"
    "usr/$bindir/tavo-unit-panel"
    "usr/$pkglibdir/libVexaUSB.so"
    "usr/$pkglibdir/libTavoWebView.so"
    "usr/$datadir/tolvane-down/Tavo_UIText.txt"
    "usr/$datadir/tolvane-down/Tavo_VersionInfo.txt"
    "usr/$datadir/applications/$desktop_id.desktop"
    "usr/$datadir/applications/$panel_id.desktop"
    "usr/$datadir/metainfo/$desktop_id.metainfo.xml"
    "usr/$datadir/systemd/user/tavo-unit.service"
)
for size in 16 24 32 48 64 128 256; do
    for id in $desktop_id $panel_id; do
        expected+=("usr/$datadir/icons/hicolor/${size}x$size/apps/$id.png")
    done
done
if ! difference=$(diff <(printf '%s\n' "${expected[@]}" | sort) \
    <(cd "$root" && find . -type f -printf '%P\n' | sort)); then
    fail "installed files differ from the list (< missing, > not expected):"$'\n'"$difference"
fi

for command in desktop-file-validate appstreamcli xvfb-run xwininfo; do
    command -v "$command" >/dev/null || fail "$command is missing (make deps installs it)"
done
for id in $desktop_id $panel_id; do
    desktop-file-validate "$root/usr/$datadir/applications/$id.desktop" ||
        fail "$id.desktop is not valid"
done
appstreamcli validate --no-net "$root/usr/$datadir/metainfo/$desktop_id.metainfo.xml" >"$work/appstream.log" ||
    fail "the metainfo is not valid: $(cat "$work/appstream.log")"
grep -qx "Path=/usr/$datadir/tolvane-down" "$root/usr/$datadir/applications/$desktop_id.desktop" ||
    fail "the desktop entry does not start the program in its data folder"

xvfb-run -a -s "-screen 0 1024x768x24" "$0" --windows "$root" "usr/$bindir" "usr/$datadir"
echo "install_tree: passed"
