#!/bin/bash
# Figure 7: the instructions the program and the floor (bench/floor.cpp) run
# in user space for each IR report, counted by callgrind on the built
# binaries under an Xvfb of their own, with the scripted remote streaming 700
# IR reports 10 ms apart. Counting starts once 100 reports have gone by, so
# start-up is left out; the few hundred instructions of the run's end are in.
# Unlike processor time, the count does not move with the machine's load
# (the kernel's part is not in it: see BENCHMARKS.md). Prints its lines and
# one summary row for tools/bench.sh. Run from the source root after a
# build into build-bench/.
set -uo pipefail
. tests/kit.sh
build=build-bench
work=$(mktemp -d "${TMPDIR:-/dev/shm}/lumadrifter-bench.XXXXXX") || exit 1
xvfb=
cleanup() {
    [ -n "$xvfb" ] && Stop "$xvfb"
    rm -rf "$work"
}
trap cleanup EXIT

StartXvfb "$work" || { echo "bench_instructions: Xvfb did not start" >&2; exit 1; }

# Once the remote is set up, the lights left and right of the middle in
# turn (tools/virtual-remote/script.h), so that every report moves the
# cursor; then Home.
{
    echo "await 12 00 33"
    for i in $(seq 350); do
        printf '%s\n' "dots 682,244 722,244" "wait 10" "dots 522,244 562,244" "wait 10"
    done
    printf '%s\n' "dots 480,244 520,244" "buttons 00 80"
} >"$work/script"

reads() { grep -c '^read' "$work/hid.log" 2>/dev/null; }

# Counts one binary's instructions per report into perReport.
perReport=0
count() {
    local binary=$1 who=$2 pid from
    rm -f "$work/hid.log" "$work"/callgrind.*
    DISPLAY=$display LD_LIBRARY_PATH=$build/tests/e2e/scripted \
        LUMADRIFTER_TEST_HID_SCRIPT="$work/script" LUMADRIFTER_TEST_HID_LOG="$work/hid.log" \
        valgrind --tool=callgrind --instr-atstart=no --fair-sched=yes \
        --callgrind-out-file="$work/callgrind.%p" "$binary" </dev/null >/dev/null 2>"$work/valgrind" &
    pid=$!
    for _ in $(seq 600); do [ "$(reads)" -ge 100 ] 2>/dev/null && break; sleep 0.05; done
    callgrind_control -i on "$pid" >/dev/null 2>&1
    from=$(reads)
    wait "$pid"
    local n=$(($(reads) - from))
    local total
    total=$(sed -n 's/^totals: //p' "$work"/callgrind.* | head -1)
    if [ -z "$total" ] || [ "$n" -le 0 ]; then
        echo "bench_instructions: no count for $who" >&2
        cat "$work/valgrind" >&2
        return 1
    fi
    perReport=$((total / n))
    echo "$who: $total instructions over $n reports, $perReport a report"
}

count "$build/bench/floor" floor || exit 1
floor=$perReport
count "$build/lumadrifter" program || exit 1
program=$perReport
printf 'row\t7. instructions per IR report (user space)\t%d (floor %d): %s\t-\t-\n' \
    "$program" "$floor" "$(awk -v a="$program" -v b="$floor" 'BEGIN { printf "%.2fx", a / b }')"
