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

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-build}
case $build in
/*) ;;
*) build=$root/$build ;;
esac
bin=$build/bin
run=$build/soak
socket=$run/unit.sock
python=/usr/bin/python3
runs=${RUNS:-200}

for program in soak_update tavo-unit; do
    if [ ! -x "$bin/$program" ]; then
        echo "soak: $bin/$program is missing; build first (make build)." >&2
        exit 1
    fi
done
if ! "$python" -c 'import pyftpdlib' 2>/dev/null; then
    echo "soak: $python cannot import pyftpdlib; install the package python3-pyftpdlib." >&2
    exit 1
fi

rm -rf "$run"
mkdir -p "$run/server"

"$bin/tavo-unit" serve --socket "$socket" --state "$run/unit-state" >"$run/unit-log.txt" 2>&1 &
unit_pid=$!
ftp_pid=
stop_all() {
    for pid in $ftp_pid $unit_pid; do
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
}
trap stop_all EXIT

for _ in $(seq 50); do
    [ -S "$socket" ] && break
    kill -0 "$unit_pid" 2>/dev/null || break
    sleep 0.1
done
if [ ! -S "$socket" ]; then
    echo "soak: the virtual unit did not start (see $run/unit-log.txt)." >&2
    exit 1
fi

port=$("$python" -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
"$python" -m pyftpdlib -i 127.0.0.1 -p "$port" -d "$run/server" >"$run/ftp-log.txt" 2>&1 &
ftp_pid=$!
for _ in $(seq 50); do
    (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && break
    kill -0 "$ftp_pid" 2>/dev/null || break
    sleep 0.1
done
if ! (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then
    echo "soak: the FTP server does not accept connections on port $port (see $run/ftp-log.txt)." >&2
    exit 1
fi

export TAVO_UNIT_SOCKET=$socket
if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
    mkdir -m 700 "$run/runtime"
    export XDG_RUNTIME_DIR=$run/runtime
fi
# In a sanitizer build the runtime intercepts dlopen, and the search for the USB library no
# longer sees the program's own run path.
export LD_LIBRARY_PATH=$build/lib${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}
status=0
"$bin/soak_update" --server-root "$run/server" --server-url "ftp://127.0.0.1:$port/down/fw/Tavo" \
    --runs "$runs" ${SEED:+--seed "$SEED"} || status=$?
exit "$status"
