#!/bin/bash
# Builds the Debian package, lumadrifter_<version>_<arch>.deb, in build-deb/
# (or $OUT), and checks it with lintian. Run as root, it installs what the
# build needs first; otherwise it says what is missing.
#
# The build runs in a scratch copy of the source (the files git knows of,
# as they are in the working tree), since dpkg-buildpackage writes beside
# the source tree and leaves debian/ full of build output.
#
#   tools/package.sh --windows
#
# makes instead the download for Windows, lumadrifter-<version>-windows-x64.zip,
# in the same place: one folder of that name holding lumadrifter.exe,
# tiny_hid_dll.dll, README.txt and copyright.txt. The program and the library
# are cross-built with MinGW-w64 in build-windows/, the Wine suite's build
# folder, so after the suite nothing is built again.
set -euo pipefail
cd "$(dirname "$0")/.."
. tools/packages.sh

top=$PWD
out=${OUT:-$top/build-deb}
scratch=$(mktemp -d "${TMPDIR:-/tmp}/lumadrifter-package.XXXXXX")
trap 'rm -rf "$scratch"' EXIT

# The Windows download. Its version is the one at the top of debian/changelog,
# as the package's is; the program and the library go in without their
# symbols, as in the package.
windows_zip() {
    local version name build=$top/build-windows
    version=$(sed -n '1s/^lumadrifter (\([^)]*\)).*/\1/p' debian/changelog)
    name=lumadrifter-$version-windows-x64

    install_missing $WINDOWS_PACKAGES
    cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE="$top/cmake/mingw-w64.cmake"
    cmake --build "$build" -j "${JOBS:-2}" --target lumadrifter tiny_hid_dll

    mkdir "$scratch/$name"
    x86_64-w64-mingw32-strip -o "$scratch/$name/lumadrifter.exe" "$build/lumadrifter.exe"
    x86_64-w64-mingw32-strip -o "$scratch/$name/tiny_hid_dll.dll" "$build/tiny_hid_dll.dll"
    # Windows users read the text files in Notepad: CRLF line ends.
    sed -e "s/@VERSION@/$version/" -e 's/$/\r/' tools/windows/README.txt.in \
        >"$scratch/$name/README.txt"
    sed 's/$/\r/' debian/copyright >"$scratch/$name/copyright.txt"

    mkdir -p "$out"
    out=$(cd "$out" && pwd)
    rm -f "$out/$name.zip"
    (cd "$scratch" && zip -q -X -D -r "$out/$name.zip" "$name")
    echo "Built $out/$name.zip"
    unzip -l "$out/$name.zip"
}

case "${1:-}" in
"") ;;
--windows)
    windows_zip
    exit 0
    ;;
*)
    echo "Usage: tools/package.sh [--windows]" >&2
    exit 2
    ;;
esac

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
