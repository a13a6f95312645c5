#!/bin/sh
# Runs every harness of the fuzz build: first the kept crash inputs of regressions/<harness>
# once each, then SECONDS of fuzzing from the seeds of corpus/<harness> (and those kept
# inputs), with <harness>.dict as its dictionary, JOBS harnesses at a time. What the fuzzer
# adds goes to BUILD/corpus/<harness>, never into the seeds; a crashing input is left in
# BUILD/fuzz-crashes/.
# Usage: tests/fuzz/run.sh BUILD SECONDS [JOBS]
set -eu
here=$(cd "$(dirname "$0")" && pwd)
build=$1 seconds=$2 jobs=${3:-2}
export ASAN_OPTIONS=abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
# Each input goes through a file for the loaders that open one: keep them in memory.
[ -d /dev/shm ] && export TMPDIR=/dev/shm

if [ "${FUZZ_ONE:-}" ]; then
    h=$FUZZ_ONE bin=$build/bin/fuzz_$FUZZ_ONE log=$build/fuzz-logs/$FUZZ_ONE
    mkdir -p "$build/corpus/$h" "$build/fuzz-crashes"
    if [ -n "$(ls "$here/regressions/$h" 2>/dev/null)" ] &&
        ! "$bin" "$here/regressions/$h"/* >"$log.replay" 2>&1; then
        tail -n 40 "$log.replay"; echo "fuzz_$h: a kept crash input fails again"; exit 1
    fi
    if ! "$bin" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
        $(ls "$here/$h.dict" 2>/dev/null | sed 's/^/-dict=/') \
        -artifact_prefix="$build/fuzz-crashes/$h-" "$build/corpus/$h" "$here/corpus/$h" \
        $(ls -d "$here/regressions/$h" 2>/dev/null) \
        >"$log" 2>&1; then
        tail -n 60 "$log"; echo "fuzz_$h: crashed, see $log"; exit 1
    fi
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    echo "fuzz_$h: $runs runs in ${seconds}s, $(grep -E '^#[0-9]+' "$log" | tail -n 1 | \
        grep -oE 'cov: [0-9]+ ft: [0-9]+ corp: [0-9]+/[^ ]+')"
    exit 0
fi

mkdir -p "$build/fuzz-logs"
ls "$build"/bin/fuzz_* | sed 's|.*/fuzz_||' |
    xargs -P "$jobs" -I{} env FUZZ_ONE={} "$0" "$build" "$seconds"
