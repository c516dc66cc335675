#!/bin/bash
# Faults made by hand, one at a time, each of which the tests must catch.
#
#   tools/mutants.sh            every fault
#   tools/mutants.sh WORD       the faults whose name holds WORD
#
# Works in a scratch copy of the tree (the files git knows of, as they are
# now): builds it once with the tests, then for each fault changes the
# source as the fault says, builds again, runs the suite that should catch
# it, and puts the source back. Prints a table of each fault and the tests
# that failed on it; exits non-zero when a fault went uncaught or could not
# be made (its text is no longer in the source: the list needs mending).
set -uo pipefail
cd "$(dirname "$0")/.."
. tools/packages.sh
install_missing $BUILD_PACKAGES $TEST_PACKAGES || exit 1

only=${1:-}
top=$PWD
work=$(mktemp -d "${TMPDIR:-/tmp}/lumadrifter-mutants.XXXXXX")
trap 'rm -rf "$work"' EXIT
git ls-files -z | tar -c --null -T - | tar -x -C "$work" --one-top-level=src
cd "$work/src"
echo "building a scratch copy in $work"
cmake -S . -B build -DLUMADRIFTER_TESTS=ON >build.log 2>&1 &&
    cmake --build build -j "${JOBS:-2}" >>build.log 2>&1 || { tail -30 build.log; exit 1; }

rows=()
bad=0

# Fault <name> <file> <text> <replaced by> <check>
#
# The text must stand exactly once in the file. The check is a ctest regex
# over the Linux tests, the same prefixed with tsan: over the tests built
# with ThreadSanitizer, or "package" or "wine" for those suites.
Fault() {
    local name=$1 file=$2 from=$3 to=$4 check=$5 caught
    [ -n "$only" ] && [[ "$name" != *"$only"* ]] && return
    echo "== $name"
    cp "$file" "$work/saved"
    if ! FROM=$from TO=$to perl -0777 -i -pe \
        '$n = s/\Q$ENV{FROM}\E/$ENV{TO}/g; END { exit($n == 1 ? 0 : 3) }' "$file"; then
        cp "$work/saved" "$file"
        rows+=("$name|not made: its text is not in $file once")
        bad=$((bad + 1))
        return
    fi
    case $check in
    package) caught=$(bash tests/package/run.sh 2>&1 | sed -n 's/^FAIL //p') ;;
    tsan:*)
        [ -d build-tsan ] || cmake -S . -B build-tsan -DLUMADRIFTER_TESTS=ON \
            -DLUMADRIFTER_SANITIZE=thread >>build.log 2>&1
        if ! cmake --build build-tsan -j "${JOBS:-2}" >build.log 2>&1; then
            caught="the build"
        else
            caught=$(cd build-tsan && ctest -R "${check#tsan:}" -j "${JOBS:-2}" --timeout 300 2>&1 |
                sed -n 's/^[[:space:]]*[0-9]* - \(.*\) (.*)$/\1 (under TSan)/p')
        fi
        ;;
    wine) caught=$(bash tests/wine/run.sh 2>&1 | sed -n 's/^FAIL \([^:]*\).*/\1/p') ;;
    *)
        if ! cmake --build build -j "${JOBS:-2}" >build.log 2>&1; then
            caught="the build"
        else
            caught=$(cd build && ctest -R "$check" -j "${JOBS:-2}" --timeout 120 2>&1 |
                sed -n 's/^[[:space:]]*[0-9]* - \(.*\) (.*)$/\1/p')
        fi
        ;;
    esac
    cp "$work/saved" "$file"
    touch "$file"
    if [ -z "$caught" ]; then
        rows+=("$name|NOT CAUGHT")
        bad=$((bad + 1))
    else
        rows+=("$name|$(echo "$caught" | head -3 | paste -sd ';' | sed 's/;/; /g')")
    fi
}

# --- The faults ---------------------------------------------------------------

Fault "the right button is not let go of at a signal's end" \
    platform/held_buttons.cpp $'    if (held & MouseRightDown)\n        send(MouseRightUp);\n' '' \
    'Scenario|OnATerminal'
Fault "the end does not take the output lock" \
    platform/linux_platform.cpp $'    if (!OutputLockedHere())\n        LockOutput();\n' '' \
    'tsan:Scenario.EndedByASignal|OnATerminal.Signals'
Fault "the layout's origin is taken as 0, 0" \
    platform/linux_screen_area.cpp $'        left = any && left < o.x ? left : o.x;\n        top = any && top < o.y ? top : o.y;\n' \
    $'        left = 0;\n        top = 0;\n' 'ScreenSize|WaylandLayout|WaylandDesktop'
Fault "the home check takes Home with any other button" \
    app/control_loop.cpp 'remoteState.buttons2 == 0x80' '(remoteState.buttons2 & 0x80)' \
    'ExitTest|StartupTest'
Fault "the quiet state's reports in another order" \
    remote/reports.cpp '{{0x13, 0x00}, {0x1A, 0x00}, {0x12, 0x00, 0x30}}' \
    '{{0x1A, 0x00}, {0x13, 0x00}, {0x12, 0x00, 0x30}}' 'ExitTest|Scenario|OnATerminal'
Fault "the probe takes a zero accelerometer byte as an answer" \
    remote/probe.cpp 'remoteState.accelX != 0;' 'true;' 'ProbeTest|Scenario.ASilent'
Fault "the probe never starts its reader" \
    remote/probe.cpp 'readerThread = StartThread(ReaderThread);' 'readerThread = {};' \
    'ProbeTest|Scenario.HomeEnds|OnATerminal.Escape'
Fault "the pointer's smoothing divides by 5" \
    mouse/pointer.cpp '(5 * pass.smoothX + tx) / 6' '(5 * pass.smoothX + tx) / 5' \
    'PointerTest|Scenario'
Fault "the D-pad's speed is not capped at 16" \
    mouse/dpad.cpp 'speed = Limit(speed + 1, -16, 16);' 'speed = speed + 1;' 'DpadTest'
Fault "the rumble pulse is 40 ms" \
    mouse/buttons.cpp 'WaitMilliseconds(80);' 'WaitMilliseconds(40);' 'ButtonsTest'
Fault "the X11 wheel carry rounds down" \
    platform/linux_x11_wheel.cpp '(c + 60) / 120' 'c / 120' 'X11Wheel|Scenario.Buttons'
Fault "Escape followed by another key is taken as a sequence" \
    platform/linux_terminal_keys.cpp "(bytes[1] != '[' && bytes[1] != 'O')" "(bytes[1] == 0)" \
    'TerminalKeys|OnATerminal'
Fault "the virtual pointer's range is one pixel too wide" \
    platform/linux_uinput_frames.cpp 'pointer->x = Clamp(x, 0, pointer->width - 1);' \
    'pointer->x = Clamp(x, 0, pointer->width);' 'UinputPointer|WaylandLayout'
Fault "a second program is not refused the remote in use" \
    tiny_hid_dll/node_lock.h 'if (fcntl(fd, F_SETLK, &whole) == 0)' 'if (true)' \
    'Scenario.ASecondProgram|SharedRemote|HidLibrary'
Fault "the program's run path does not name its library folder" \
    CMakeLists.txt 'INSTALL_RPATH "$ORIGIN:$ORIGIN/../${LUMADRIFTER_LIBDIR}"' \
    'INSTALL_RPATH "$ORIGIN"' package
Fault "the Windows manifest leaves out per-monitor DPI awareness" \
    app/lumadrifter.exe.manifest '<dpiAware xmlns="http://schemas.microsoft.com/SMI/2005/WindowsSettings">true/pm</dpiAware>' \
    '<dpiAware xmlns="http://schemas.microsoft.com/SMI/2005/WindowsSettings">false</dpiAware>' wine

# --- The table ----------------------------------------------------------------

echo
echo "| fault | caught by |"
echo "|---|---|"
for row in "${rows[@]}"; do
    echo "| ${row%%|*} | ${row#*|} |"
done
echo
echo "mutants: $((${#rows[@]} - bad)) caught, $bad not"
[ "$bad" -eq 0 ]
