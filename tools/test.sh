#!/bin/bash
# Builds everything and runs every test suite; exits non-zero when any fails.
set -uo pipefail
cd "$(dirname "$0")/.."
. tools/packages.sh

# The Linux suite: unit tests of the logic and of the Linux platform, and
# end-to-end tests of the built program on Xvfb.
linux_suite() {
    install_missing $BUILD_PACKAGES $TEST_PACKAGES || return 1
    cmake -S . -B build -DLUMADRIFTER_TESTS=ON >/dev/null || return 1
    cmake --build build -j "${JOBS:-2}" || return 1
    (cd build && ctest --output-on-failure -j "${JOBS:-2}")
}

failed=0
linux_suite || failed=1
# Further suites (another system's build and tests) go here, each a function
# that returns non-zero on failure:
#   other_suite || failed=1

exit $failed
