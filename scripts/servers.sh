# shellcheck shell=bash
# What demo.sh and soak.sh share, sourced by them: the build folder, a virtual unit serving in
# the background and the local FTP update server. Messages start with "$name: ", name being set
# by the sourcing script.
# shellcheck disable=SC2154

# The build folder $1 (default build), made absolute against the source tree; sets root, build
# and bin.
use_build_folder() {
    root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
    build=${1:-build}
    case $build in
    /*) ;;
    *) build=$root/$build ;;
    esac
    bin=$build/bin
}

# Ends the script unless every program named is built.
need_programs() {
    local program
    for program in "$@"; do
        if [ ! -x "$bin/$program" ]; then
            echo "$name: $bin/$program is missing; build first (make build)." >&2
            exit 1
        fi
    done
}

# The servers need Debian's pyftpdlib under the system interpreter (another python3 on PATH
# may not have it).
python=/usr/bin/python3
need_pyftpdlib() {
    if ! "$python" -c 'import pyftpdlib' 2>/dev/null; then
        echo "$name: $python cannot import pyftpdlib; install the package python3-pyftpdlib." >&2
        exit 1
    fi
}

# Starts `tavo-unit serve --socket $2` with the further arguments, its output going to the
# file $1, and waits for its socket; sets unit_pid.
start_unit() {
    local log=$1 socket=$2
    shift
    "$bin/tavo-unit" serve --socket "$@" >>"$log" 2>&1 &
    unit_pid=$!
    for _ in $(seq 50); do
        [ -S "$socket" ] && return 0
        kill -0 "$unit_pid" 2>/dev/null || break
        sleep 0.1
    done
    echo "$name: the virtual unit did not open $socket (see $log)." >&2
    exit 1
}

# Serves the folder $1 read-only to anonymous users over FTP on a free port of 127.0.0.1,
# logging to $2, and waits until it accepts connections; sets ftp_pid and ftp_port.
start_ftp() {
    ftp_port=$("$python" -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
    "$python" -m pyftpdlib -i 127.0.0.1 -p "$ftp_port" -d "$1" >"$2" 2>&1 &
    ftp_pid=$!
    for _ in $(seq 50); do
        (exec 3<>"/dev/tcp/127.0.0.1/$ftp_port") 2>/dev/null && return 0
        kill -0 "$ftp_pid" 2>/dev/null || break
        sleep 0.1
    done
    echo "$name: the FTP server does not accept connections on port $ftp_port (see $2)." >&2
    exit 1
}
