#!/bin/bash
# Builds the benchmarks in Release (build-bench/), runs every figure and
# prints one table of figure, value, target and whether it was met.
# Targets are reported, not enforced: the exit code is non-zero only when a
# benchmark could not be built or run.
set -uo pipefail
cd "$(dirname "$0")/.."
. tools/packages.sh

install_missing $BUILD_PACKAGES $TEST_PACKAGES $BENCH_PACKAGES || exit 1
cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DLUMADRIFTER_BENCH=ON \
    -DLUMADRIFTER_TESTS=ON >/dev/null || exit 1
cmake --build build-bench -j "${JOBS:-2}" --target pass_bench wait_precision end_to_end floor ||
    exit 1

results=build-bench/bench-results
mkdir -p "$results"

echo "== machine"
echo "cores:   $(nproc)"
echo "cpu:     $(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -1)"
echo "kernel:  $(uname -sr)"
echo "date:    $(date -u '+%Y-%m-%d %H:%M UTC')"
echo "load:    $(cut -d' ' -f1-3 /proc/loadavg) (1, 5, 15 min)"
if awk -v cores="$(nproc)" '{ exit !($1 > cores / 2) }' /proc/loadavg; then
    echo "The machine is busy: the timed figures will show other work's preemption."
fi

# Runs one benchmark; its own lines are shown when it ends, its summary rows
# kept for the table.
failed=0
run() {
    local name=$1
    shift
    echo
    echo "== $name"
    if ! "$@" >"$results/$name.out" 2>"$results/$name.err"; then
        echo "$name failed:" >&2
        cat "$results/$name.err" >&2
        failed=$((failed + 1))
    fi
    grep -v "^row	" "$results/$name.out"
}

run pass_bench build-bench/bench/pass_bench
run wait_precision build-bench/bench/wait_precision
run end_to_end build-bench/bench/end_to_end
run instructions tools/bench_instructions.sh

echo
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"
echo
echo "== figures"
{
    printf 'figure\tvalue\ttarget\tmet\n'
    cat "$results"/pass_bench.out "$results"/wait_precision.out "$results"/end_to_end.out \
        "$results"/instructions.out |
        sed -n 's/^row	//p' | sort -s -t. -k1,1n
} | awk -F'\t' '
    { for (i = 1; i <= 4; i++) { cell[NR, i] = $i; if (length($i) > w[i]) w[i] = length($i) } }
    END {
        for (r = 1; r <= NR; r++) {
            line = "|"
            for (i = 1; i <= 4; i++) line = line sprintf(" %-" w[i] "s |", cell[r, i])
            print line
            if (r == 1) {
                line = "|"
                for (i = 1; i <= 4; i++) { d = ""; for (k = 0; k < w[i] + 2; k++) d = d "-"; line = line d "|" }
                print line
            }
        }
    }'
[ $failed -eq 0 ]
