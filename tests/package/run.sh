#!/bin/bash
# The Debian package as CI builds it: from a clean copy of HEAD, through
# tools/package.sh (dpkg-buildpackage and lintian), then checked from the
# .deb itself: its files and their modes, the program's run path, no
# maintainer script that enables anything, the user units by
# systemd-analyze, and the installed program, extracted to a scratch root,
# run with no remote. Ends with "package: N passed, N failed".
set -uo pipefail
cd "$(dirname "$0")/../.."
. tools/packages.sh
. tests/kit.sh

install_missing $PACKAGE_PACKAGES xvfb binutils git man-db systemd || exit 1

work=$(mktemp -d "${TMPDIR:-/tmp}/lumadrifter-package-test.XXXXXX")
xvfb=
trap 'Stop $xvfb; rm -rf "$work"' EXIT

# The build, from what is committed (or, outside a git checkout, from the
# tree less its build folders).
mkdir "$work/src"
if git rev-parse --verify -q HEAD >/dev/null 2>&1; then
    git archive HEAD | tar -x -C "$work/src"
else
    tar -c --exclude='./build*' . | tar -x -C "$work/src"
fi
version=$(Version .)
arch=$(dpkg-architecture -qDEB_HOST_ARCH)
multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
deb=$work/out/lumadrifter_${version}_${arch}.deb
if ! OUT=$work/out bash "$work/src/tools/package.sh" >"$work/build.log" 2>&1; then
    Fail "the package builds and lintian finds no error and no warning" \
        "$(tail -n 40 "$work/build.log")"
    Finish package
fi
Pass "the package builds and lintian finds no error and no warning"
sed -n '/^[EWIPX]: /p' "$work/build.log"

# Every file, with its mode: nothing missing, nothing else (no library on
# the global path, nothing in /etc or /usr/local).
Check "the .deb holds these files, with these modes" diff <(sort -k2 <<LIST
-rw-r--r-- ./lib/udev/rules.d/70-lumadrifter.rules
-rwxr-xr-x ./usr/bin/lumadrifter
-rwxr-xr-x ./usr/bin/lumadrifter-virtual-remote
-rw-r--r-- ./usr/lib/$multiarch/lumadrifter/libtiny_hid_dll.so
-rw-r--r-- ./usr/lib/systemd/user/lumadrifter-remote.target
-rw-r--r-- ./usr/lib/systemd/user/lumadrifter.service
-rw-r--r-- ./usr/share/doc/lumadrifter/README.md.gz
-rw-r--r-- ./usr/share/doc/lumadrifter/changelog.gz
-rw-r--r-- ./usr/share/doc/lumadrifter/copyright
-rw-r--r-- ./usr/share/man/man1/lumadrifter-virtual-remote.1.gz
-rw-r--r-- ./usr/share/man/man1/lumadrifter.1.gz
-rw-r--r-- ./usr/share/metainfo/lumadrifter.metainfo.xml
LIST
) <(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $1, $6}' | sort -k2)
Check "its version is the changelog's" test "$(dpkg-deb -f "$deb" Version)" = "$version"

# Installing starts nothing: no maintainer script enables or starts a unit.
dpkg-deb -e "$deb" "$work/control"
enables() { ! grep -E 'systemctl|deb-systemd|udevadm' "$work"/control/{pre,post}{inst,rm} 2>/dev/null; }
Check "no maintainer script enables or starts anything" enables

root=$work/root
dpkg-deb -x "$deb" "$root"
program=$root/usr/bin/lumadrifter

# RUNPATH (which LD_LIBRARY_PATH comes before), into the private folder, and
# no RPATH.
Check "the program's RUNPATH leads to its private folder" test "$(readelf -d "$program" | grep -oE '\(R(UN)?PATH\).*')" = \
    "(RUNPATH)            Library runpath: [\$ORIGIN:\$ORIGIN/../lib/$multiarch/lumadrifter]"
loads_from() { # loads_from DIR [LD_LIBRARY_PATH]
    env -u LD_LIBRARY_PATH ${2:+LD_LIBRARY_PATH=$2} LD_TRACE_LOADED_OBJECTS=1 "$program" |
        grep -F "libtiny_hid_dll.so => $1/libtiny_hid_dll.so"
}
Check "the installed program finds its library" loads_from "$root/usr/bin/../lib/$multiarch/lumadrifter"
install -m 644 -Dt "$work/other" "$root/usr/lib/$multiarch/lumadrifter/libtiny_hid_dll.so"
Check "a library on LD_LIBRARY_PATH takes its place" loads_from "$work/other" "$work/other"

# The units as systemd reads them. systemd-analyze checks that ExecStart's
# program is there: it is, under the scratch root, so the copy checked
# names it there; man finds the Documentation= page there too.
analyze() {
    local units=$work/units out
    mkdir -p "$units" "$work/runtime"
    cp "$root"/usr/lib/systemd/user/* "$units/"
    sed -i "s|^ExecStart=/|ExecStart=$root/|" "$units/lumadrifter.service"
    out=$(XDG_RUNTIME_DIR=$work/runtime MANPATH=$root/usr/share/man \
        systemd-analyze verify --user "$units/lumadrifter.service" "$units/lumadrifter-remote.target" 2>&1) &&
        [ -z "$out" ] || { echo "$out" && return 1; }
}
Check "systemd-analyze verify finds nothing to say about the user units" analyze

# The start on connect hangs together: the rule has the remote's node pull
# in the target that the service is enabled into, for both models.
wiring() {
    local target
    target=$(sed -n 's/^WantedBy=//p' "$root/usr/lib/systemd/user/lumadrifter.service")
    [ -n "$target" ] && [ -f "$root/usr/lib/systemd/user/$target" ] || return 1
    for product in 0306 0330; do
        grep -E "^SUBSYSTEM==\"hidraw\", KERNELS==\"0005:057E:$product\.\*\".*TAG\+=\"systemd\".*ENV\{SYSTEMD_USER_WANTS\}\+=\"$target\"" \
            "$root/lib/udev/rules.d/70-lumadrifter.rules" || return 1
    done
}
Check "a connecting remote pulls in the target lumadrifter.service is enabled into" wiring

# The installed program with no remote, on an X server of its own (it looks
# for a mouse output before the remote), with no terminal.
no_remote() {
    ! ls /dev/hidraw* >/dev/null 2>&1 || { echo "skipped: this machine has HID devices; a remote may be among them" && return; }
    StartXvfb "$work" || { echo "Xvfb did not start"; return 1; }
    local code=0
    env -u LD_LIBRARY_PATH -u WAYLAND_DISPLAY DISPLAY="$display" \
        timeout 20 "$program" </dev/null >"$work/stdout" 2>"$work/stderr" || code=$?
    Stop "$xvfb"
    xvfb=
    [ "$code" = 1 ] && [ ! -s "$work/stdout" ] &&
        [ "$(cat "$work/stderr")" = "$(printf '%s\n' "Wii-Remote not found." \
            "lumadrifter: connect the remote (press 1 and 2) and start again. A node above that is closed to you needs the udev rule 70-lumadrifter.rules (see README) and the remote reconnected; a remote in use is free once its process ends.")" ] ||
        { echo "exit code $code, stdout:"; cat "$work/stdout"; echo "stderr:"; cat "$work/stderr"; return 1; }
}
Check "the installed program, with no remote, says \"Wii-Remote not found.\" and ends with 1" no_remote

Tally package
