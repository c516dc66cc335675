# Debian packages the build and the tests need, and how to get them.
# Sourced by run.sh and test.sh.

BUILD_PACKAGES="cmake make g++ pkg-config libhidapi-dev libx11-dev libxtst-dev libxrandr-dev libevdev-dev libwayland-dev wayland-protocols libwayland-bin"
TEST_PACKAGES="libgtest-dev xvfb binutils sway xwayland"
FUZZ_PACKAGES="clang libclang-rt-14-dev"
BENCH_PACKAGES="libbenchmark-dev valgrind"
PACKAGE_PACKAGES="build-essential dpkg-dev debhelper lintian"
# The Windows download (tools/package.sh --windows): the cross-compiler, and
# zip to pack it, unzip to show what it holds.
WINDOWS_PACKAGES="g++-mingw-w64-x86-64-posix cmake zip unzip"

# Installs what is missing when run as root; otherwise says what to install
# and fails, leaving it to the caller whether to go on (test.sh counts the
# suite as failed and runs the others).
install_missing() {
    local missing=()
    local p
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' ||
            missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0

    if [ "$(id -u)" -ne 0 ]; then
        echo "Missing packages: ${missing[*]}" >&2
        echo "Install them with: sudo apt-get install ${missing[*]}" >&2
        return 1
    fi
    echo "Installing ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -q || return 1
    apt-get install -y -q --no-install-recommends "${missing[@]}"
}
