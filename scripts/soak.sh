#!/usr/bin/env bash
# The long run of the update wizard (make soak): RUNS update runs (default 200) of the real
# main sheet against a virtual Tavo unit served by its own process and an update tree on a local
# FTP server, with random faults and re-plugs; see bench/soak_update.cpp for what each run does
# and checks.
#
#   scripts/soak.sh [BUILD_DIR]        RUNS=N and SEED=S in the environment; SEED repeats a soak
#
# Everything lives in BUILD_DIR/soak, made afresh: the unit's state and the served tree. The
# program runs headless (offscreen), with a temporary HOME of its own. Exit status 0 when every
# run passed and the resident size stayed within 10 %.
set -euo pipefail

name=soak
# shellcheck source=scripts/servers.sh
. "$(dirname "$0")/servers.sh"
use_build_folder "${1:-}"
run=$build/soak
socket=$run/unit/unit.sock # serve makes its folder, for this user only
runs=${RUNS:-200}

need_programs soak_update tavo-unit
need_pyftpdlib

rm -rf "$run"
mkdir -p "$run/server"

unit_pid=
ftp_pid=
stop_all() {
    for pid in $ftp_pid $unit_pid; do
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
}
trap stop_all EXIT
start_unit "$run/unit-log.txt" "$socket" --state "$run/unit-state"
start_ftp "$run/server" "$run/ftp-log.txt"

export TAVO_UNIT_SOCKET=$socket
if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
    mkdir -m 700 "$run/runtime"
    export XDG_RUNTIME_DIR=$run/runtime
fi
# In a sanitizer build the runtime intercepts dlopen, and the search for the USB library no
# longer sees the program's own run path.
export LD_LIBRARY_PATH=$build/lib${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}
status=0
"$bin/soak_update" --server-root "$run/server" --server-url "ftp://127.0.0.1:$ftp_port/down/fw/Tavo" \
    --runs "$runs" ${SEED:+--seed "$SEED"} || status=$?
exit "$status"
