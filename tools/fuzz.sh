#!/bin/bash
# Builds the fuzzers with clang and runs each for a fixed number of inputs,
# from its seed corpus (tests/fuzz/corpus/NAME) into a working corpus under
# build-fuzz/. RUNS sets the number of inputs for each (default: a short run,
# about a minute in all); a finding is written to build-fuzz/findings/.
#   RUNS=10000000 tools/fuzz.sh          # ten million inputs each
#   tools/fuzz.sh key_parser             # one fuzzer
set -uo pipefail
cd "$(dirname "$0")/.."
. tools/packages.sh
install_missing $BUILD_PACKAGES $FUZZ_PACKAGES || exit 1

CC=clang CXX=clang++ cmake -S . -B build-fuzz -DLUMADRIFTER_FUZZ=ON -DLUMADRIFTER_TESTS=OFF \
    -DLUMADRIFTER_SANITIZE=address,undefined >/dev/null || exit 1

names=("$@")
[ ${#names[@]} -gt 0 ] || names=(control_loop key_parser uinput_encoder)
declare -A short_runs=([control_loop]=300000 [key_parser]=200000 [uinput_encoder]=1000000)

failed=0
for name in "${names[@]}"; do
    cmake --build build-fuzz -j "${JOBS:-2}" --target "${name}_fuzzer" >/dev/null || exit 1
    work="build-fuzz/corpus/$name"
    mkdir -p "$work" build-fuzz/findings
    runs="${RUNS:-${short_runs[$name]}}"
    echo "fuzz: $name, $runs inputs"
    if ! "build-fuzz/tests/fuzz/${name}_fuzzer" -runs="$runs" -seed=1 \
        -artifact_prefix=build-fuzz/findings/ "$work" "tests/fuzz/corpus/$name" \
        >"build-fuzz/$name.log" 2>&1; then
        echo "fuzz: $name found a fault; see build-fuzz/$name.log"
        tail -n 30 "build-fuzz/$name.log"
        failed=1
    else
        tail -n 1 "build-fuzz/$name.log"
    fi
done
exit $failed
