#!/bin/bash
# Builds the program in build/ and runs it.
set -euo pipefail
cd "$(dirname "$0")/.."
. tools/packages.sh

install_missing $BUILD_PACKAGES || exit 1
cmake -S . -B build -DLUMADRIFTER_TESTS=OFF >/dev/null
cmake --build build -j "${JOBS:-2}"
exec build/lumadrifter
