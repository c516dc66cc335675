#!/bin/bash
# The VM suite: boots Debian's own kernel under QEMU and runs inside it the
# virtual remote (through uhid and hidraw) and the real program against it,
# with the kernel's generic HID driver and with its own driver for the
# remote, its mouse through a real uinput device.
#
#   tests/vm/run.sh [BUILD_DIR]        BUILD_DIR defaults to ./build
#
# LUMADRIFTER_VM_FILTER runs only the guest tests that match it (a GoogleTest
# filter such as 'VmCompositor.*').
#
# Installs what it needs when missing (as root: qemu-system-x86,
# busybox-static, cpio, kmod, xz-utils, udev, systemd, and for the desktops
# sway, seatd, xwayland, wev and weston). The kernel package is its only
# download; the .deb and what is taken from it stay in $LUMADRIFTER_VM_CACHE
# (default /var/cache/lumadrifter-vm) for later runs. Prints a line for
# each guest test, ends with a line "vm: N passed, M failed" and a non-zero
# status on any failure.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
source_dir=$(cd "$here/../.." && pwd)
. "$source_dir/tests/kit.sh"
. "$source_dir/tools/packages.sh"
cache=${LUMADRIFTER_VM_CACHE:-/var/cache/lumadrifter-vm}
limit=${LUMADRIFTER_VM_TIMEOUT:-300}
PATH=$PATH:/sbin:/usr/sbin

# The suite cannot run: said as its one failure.
Abort() {
    Fail "the VM is made and booted" "$@"
    Tally vm || exit 2
}

build=${1:-$source_dir/build}
[ -f "$build/CMakeCache.txt" ] || Abort "no build in $build: configure one first (cmake -B build)"
build=$(cd "$build" && pwd)

work=$(mktemp -d)
qemu=
trap '[ -z "$qemu" ] || Stop "$qemu" || true; rm -rf "$work"' EXIT
stage=$work/root

# The tools from Debian; udev and systemd for the session tests (udevd,
# journald, the service manager); sway, its seat, XWayland, the client
# and weston for the compositor tests.
install_missing qemu-system-x86 busybox-static cpio kmod xz-utils udev systemd sway seatd xwayland \
    wev weston >&2 || Abort "the packages above are missing"

# ---- Debian's kernel: the image and the HID and input modules ----

mkdir -p "$cache" 2>/dev/null && [ -w "$cache" ] ||
    Abort "cannot write $cache: run as root or set LUMADRIFTER_VM_CACHE to a folder of yours"

# Two runs at once (two checkouts on one machine) share the cache: one
# fetches and unpacks while the other waits, then finds it ready.
exec 9>"$cache/.lock"
flock 9

current_kernel_package() {
    apt-cache depends linux-image-amd64 2>/dev/null |
        sed -n 's/^ *Depends: \(linux-image-[0-9][^ ]*\)$/\1/p' | head -n 1
}
package=$(current_kernel_package)
if [ -z "$package" ] && [ "$(id -u)" = 0 ]; then
    apt-get update >/dev/null 2>&1 || true
    package=$(current_kernel_package)
fi
if [ -n "$package" ]; then
    deb=$(ls -t "$cache/${package}_"*.deb 2>/dev/null | head -n 1 || true)
    if [ -z "$deb" ]; then
        echo "vm: fetching $package"
        (cd "$cache" && apt-get download "$package" >"$work/download.log" 2>&1) ||
            { cat "$work/download.log" >&2; Abort "could not fetch $package"; }
        deb=$(ls -t "$cache/${package}_"*.deb | head -n 1)
    fi
else # no package lists: the newest kernel fetched before
    deb=$(ls -t "$cache"/linux-image-*.deb 2>/dev/null | head -n 1 || true)
    [ -n "$deb" ] || Abort "cannot find Debian's kernel package (apt-cache depends linux-image-amd64)"
fi
package=$(basename "$deb" | cut -d_ -f1)
kver=${package#linux-image-}
tree=$cache/$kver

# The compressed kernel inside vmlinuz, unpacked: QEMU boots the plain ELF
# image directly, a few seconds sooner than it unpacks vmlinuz itself.
# Each way it may be packed: the tool that unpacks it, then its magic bytes.
unpack_kernel() {
    local vmlinuz=$1 out=$2 packed offset
    for packed in 'xz -dc --single-stream:\xfd7zXZ\x00' 'zstd -dcq:\x28\xb5\x2f\xfd' \
        'gzip -dc:\x1f\x8b\x08'; do
        offset=$(LC_ALL=C grep -obUaP "${packed#*:}" "$vmlinuz" | awk -F: 'NR == 1 {print $1}')
        [ -n "$offset" ] || continue
        tail -c +$((offset + 1)) "$vmlinuz" | ${packed%%:*} >"$out" 2>/dev/null || true
        [ "$(head -c 4 "$out" | od -An -c | tr -d ' ')" = '177ELF' ] && return 0
    done
    cp "$vmlinuz" "$out" # boots all the same, only slower
}

if [ ! -f "$tree/ready" ]; then
    echo "vm: unpacking $(basename "$deb")"
    rm -rf "$tree"
    mkdir -p "$tree"
    dpkg-deb --fsys-tarfile "$deb" | tar -x -C "$tree" --wildcards \
        "*boot/vmlinuz-$kver" "*lib/modules/$kver/kernel/drivers/hid/*" \
        "*lib/modules/$kver/kernel/drivers/input/*" "*lib/modules/$kver/modules.*"
    if [ -d "$tree/usr/lib/modules" ] && [ ! -d "$tree/lib/modules" ]; then
        mkdir -p "$tree/lib" && ln -s ../usr/lib/modules "$tree/lib/modules"
    fi
    depmod -b "$tree" "$kver"
    unpack_kernel "$tree/boot/vmlinuz-$kver" "$tree/vmlinux"
    touch "$tree/ready"
fi
# The virtual display's driver and its transport, added to a tree unpacked
# before they were needed (runs of older checkouts may be reading it, so
# nothing is removed).
if [ ! -f "$tree/gpu.ready" ]; then
    dpkg-deb --fsys-tarfile "$deb" | tar -x -C "$tree" --wildcards \
        "*lib/modules/$kver/kernel/drivers/gpu/drm/*" "*lib/modules/$kver/kernel/drivers/virtio/*"
    depmod -b "$tree" "$kver"
    touch "$tree/gpu.ready"
fi
flock -u 9

# ---- what runs in the VM ----

echo "vm: building"
cmake --build "$build" -j2 --target lumadrifter tiny_hid_dll virtual-remote vm_guest_tests \
    >"$work/build.log" 2>&1 || { cat "$work/build.log" >&2; Abort "the build failed"; }

mkdir -p "$stage"/{bin,dev,proc,sys,tmp,vm/modules,vm/lib}
cp /bin/busybox "$stage/bin/"
cp "$here/init.sh" "$stage/init"
cp "$build/lumadrifter" "$build/virtual-remote" "$build/tests/vm/vm_guest_tests" "$stage/vm/"
cp "$build/libtiny_hid_dll.so" "$stage/vm/lib/"
cp "$here"/*.remote "$stage/vm/"

# take_libraries PROGRAM...: every shared library they load, at the path it
# has here; the HID library is the build's own, in /vm/lib.
take_libraries() {
    local program
    for program; do
        LD_LIBRARY_PATH=$stage/vm/lib ldd "$program" |
            awk '$2 == "=>" && $3 ~ /^\// {print $3} $1 ~ /^\// {print $1}'
    done | sort -u | grep -v '/libtiny_hid_dll\.so$' | while read -r library; do
        cp -L --parents "$library" "$stage"
    done
}
take_libraries "$stage"/vm/{lumadrifter,virtual-remote,vm_guest_tests} "$stage"/vm/lib/*.so

# take_modules LIST MODULE...: what these modules need, in load order, each
# once and none of base.modules again, unpacked into the VM and listed in
# LIST with its parameters. hid lets the generic driver take the remote;
# drm_kms_helper draws no console on the virtual display.
modules_for() {
    modprobe -d "$tree" -S "$kver" --show-depends "$1" | awk '$1 == "insmod" {print $2}'
}
take_modules() {
    local list=$stage/vm/$1 module name
    shift
    : >"$list"
    for module in $(for m; do modules_for "$m"; done | awk '!seen[$0]++'); do
        name=$(basename "$module" | sed -E 's/\.(xz|zst)$//')
        awk -v n="$name" '$1 == n {f = 1} END {exit !f}' "$stage/vm/base.modules" && continue
        case $module in
        *.xz) xz -dc ;;
        *.zst) zstd -dcq ;;
        *) cat ;;
        esac <"$module" >"$stage/vm/modules/$name"
        case $name in
        hid.ko) echo "$name ignore_special_drivers=1" ;;
        drm_kms_helper.ko) echo "$name fbdev_emulation=0" ;;
        *) echo "$name" ;;
        esac >>"$list"
    done
}
take_modules base.modules uhid hid-generic evdev uinput
# The remote's own driver, found by the remote's ids (its modalias) and
# loaded by the tests that need it; the virtual display's, likewise.
take_modules driver.modules "hid:b0005g0001v0000057Ep00000306"
take_modules gpu.modules virtio_pci virtio-gpu

. "$here/stage_session.sh"
. "$here/stage_compositor.sh"

image=$work/initramfs.cpio
(cd "$stage" && find . | cpio -o -H newc --quiet) >"$image"

# ---- boot ----

serial=$build/vm-console.log
echo "vm: booting $kver"
# A virtual display with two screens, its second connected by the kernel's
# command line (with no window to show them in, QEMU connects only the
# first).
qemu-system-x86_64 -accel tcg -m 768 -nographic -no-reboot \
    -device virtio-gpu-pci,max_outputs=2 -kernel "$tree/vmlinux" -initrd "$image" \
    -append "console=ttyS0 quiet panic=-1 video=Virtual-2:e vm.filter=${LUMADRIFTER_VM_FILTER:-*}" \
    </dev/null >"$serial" 2>&1 &
qemu=$!
WaitFor "$limit" Ended "$qemu" || true
Stop "$qemu" || true
qemu=

# ---- results, from the serial console ----

tr -d '\r' <"$serial" >"$work/console"
grep '^vm-guest:' "$work/console" | sed 's/^/vm: /'
# Each test's verdict; a failure with what the test said.
while read -r verdict name; do
    if [ "$verdict" = OK ]; then
        Pass "$name"
    else
        Fail "$name" "$(awk -v end="[  FAILED  ] $name (" '/^\[ RUN      \]/ {block = ""}
            {block = block $0 "\n"} index($0, end) == 1 {printf "%s", block}' "$work/console")"
    fi
done < <(sed -nE 's/^\[ +(OK|FAILED) +\] ([^ ]+) \([0-9]+ ms\)$/\1 \2/p' "$work/console")
status=$(sed -n 's/^vm-guest: done, status \([0-9]*\) .*/\1/p' "$work/console")
if [ -z "$status" ]; then
    Fail "the VM finishes its tests within ${limit} s" "$(tail -n 40 "$work/console")"
elif [ "$status" != 0 ] && [ "$failed" -eq 0 ]; then
    Fail "the guest tests end with a verdict, not status $status" "$(tail -n 40 "$work/console")"
elif [ "$passed" -eq 0 ]; then
    Fail "a guest test runs" "none matched the filter ${LUMADRIFTER_VM_FILTER:-*}"
fi
echo "vm: whole run ${SECONDS} s; console in $serial"
Tally vm
