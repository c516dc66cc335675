#!/bin/bash
# Builds everything and runs every test suite; exits non-zero when any fails.
set -uo pipefail
cd "$(dirname "$0")/.."
. tools/packages.sh

# Unit tests of the logic and of the Linux platform, and end-to-end tests of
# the built program on Xvfb, in the build folder given, with the sanitizers
# given (none, address,undefined or thread) and, when given, the build type
# (the default is optimised with debug information). The plain build also
# builds the benchmarks, and runs none of them, so that they cannot rot.
linux_suite() {
    local dir=$1 sanitize=$2 type=${3:-RelWithDebInfo} bench=OFF
    [ -z "$sanitize" ] && bench=ON
    install_missing $BUILD_PACKAGES $TEST_PACKAGES || return 1
    [ $bench = ON ] && { install_missing libbenchmark-dev || return 1; }
    cmake -S . -B "$dir" -DLUMADRIFTER_TESTS=ON -DLUMADRIFTER_BENCH=$bench \
        -DLUMADRIFTER_SANITIZE="$sanitize" -DCMAKE_BUILD_TYPE="$type" >/dev/null || return 1
    cmake --build "$dir" -j "${JOBS:-2}" || return 1
    (cd "$dir" && ctest --output-on-failure -j "${JOBS:-2}")
}

passed=0
failed=0
run() {
    echo "== $*"
    if "$@"; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
        echo "== failed: $*"
    fi
}

run linux_suite build ""
run bash tests/package/run.sh
run bash tests/vm/run.sh build
# AddressSanitizer unoptimised: what it checks must hold at -O0 too.
run linux_suite build-asan address,undefined Debug
run linux_suite build-tsan thread
run bash tools/fuzz.sh
run bash tests/wine/run.sh

echo "suites: $passed passed, $failed failed"
[ $failed -eq 0 ]
