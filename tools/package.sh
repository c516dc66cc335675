#!/bin/bash
# Builds the Debian package, lumadrifter_<version>_<arch>.deb, in build-deb/
# (or $OUT), and checks it with lintian. Run as root, it installs what the
# build needs first; otherwise it says what is missing.
#
# The build runs in a scratch copy of the source (the files git knows of,
# as they are in the working tree), since dpkg-buildpackage writes beside
# the source tree and leaves debian/ full of build output.
set -euo pipefail
cd "$(dirname "$0")/.."
. tools/packages.sh

top=$PWD
out=${OUT:-$top/build-deb}
scratch=$(mktemp -d "${TMPDIR:-/tmp}/lumadrifter-package.XXXXXX")
trap 'rm -rf "$scratch"' EXIT

install_missing $PACKAGE_PACKAGES
mkdir -p "$scratch/src"
if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    git ls-files -z --cached --others --exclude-standard |
        while IFS= read -r -d '' f; do [ -e "$f" ] && printf '%s\0' "$f"; done |
        tar -c --null -T - | tar -x -C "$scratch/src"
else
    tar -c --exclude='./build*' . | tar -x -C "$scratch/src"
fi

cd "$scratch/src"
if ! dpkg-checkbuilddeps 2>/dev/null; then
    if [ "$(id -u)" -eq 0 ]; then
        export DEBIAN_FRONTEND=noninteractive
        apt-get update -q
        apt-get build-dep -y -q --no-install-recommends ./
    else
        dpkg-checkbuilddeps || true
        echo "Install them with: sudo apt-get build-dep ./ (in the source tree)" >&2
        exit 1
    fi
fi
DEB_BUILD_OPTIONS="parallel=${JOBS:-2} ${DEB_BUILD_OPTIONS:-}" dpkg-buildpackage -b -us -uc

mkdir -p "$out"
cd "$scratch"
for f in *.deb *.buildinfo *.changes; do
    cp "$f" "$out/"
done
deb=$(ls "$out"/lumadrifter_*.deb | tail -1)
echo "Built $deb"
lintian --fail-on error,warning "$deb"
echo "lintian: no errors, no warnings"
