#!/bin/bash
# The Windows build, checked end to end under Wine.
#
#   bash tests/wine/run.sh
#
# Cross-builds the program, the real and the scripted tiny_hid_dll.dll and
# the helper into build-windows/ (MinGW-w64), checks imports and exports,
# and runs lumadrifter.exe under Wine (a prefix of its own, the null graphics
# driver) against tests/scenarios/: the helper (tests/wine/helper.cpp)
# watches the mouse through a hook, dismisses message boxes and types into
# the console. The real library runs
# against Wine's HID class and against stand-ins for hid.dll and
# setupapi.dll. The host's read_log (tests/wine/read_log.cpp, the C++ kit)
# reads the runs, kept in build-windows/wine-results/. Ends with
# "wine: <n> passed, <m> failed".
set -u

root=$(cd "$(dirname "$0")/../.." && pwd)
build=$root/build-windows
results=$build/wine-results
helper=$build/helpers/helper.exe
read_log=$build/host/read_log
scenarios=$root/tests/scenarios
prefix=
. "$root/tests/kit.sh"
. "$root/tools/packages.sh"

# Whatever this suite started and is still running, by PID; the server
# then ends every Windows process left in the prefix.
StopAll() {
    kill -KILL $(jobs -p) 2>/dev/null
    [ -z "$prefix" ] || { wineserver -k 2>/dev/null && rm -rf "$prefix"; }
}
trap StopAll EXIT
trap 'Fail "interrupted"; Finish wine' INT TERM

install_missing $WINDOWS_PACKAGES g++ wine wine64 bsdutils || { Fail "tools"; Finish wine; }

# Must <name> <log> <command>...: what the suite cannot go on without.
Must() { "${@:3}" >"$2" 2>&1 || { Fail "$1" "$(tail -40 "$2")" && Finish wine; }; }

# --- Build: the Windows build, and read_log for the host -------------------

Build() {
    cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake" && cmake --build "$build" -j2 &&
        cmake -S "$root/tests/wine/host" -B "$build/host" && cmake --build "$build/host" -j2
}
mkdir -p "$build"
Must "cross build" "$build/build.log" Build && Pass "cross build"
cp "$build/lumadrifter.exe" "$build/scripted/lumadrifter.exe"
cp "$build/lumadrifter.exe" "$build/tiny_hid_dll.dll" "$build/stand-in/"

# --- Import and export tables ---------------------------------------------

Imports() { x86_64-w64-mingw32-objdump -p "$1" | sed -n 's/^\s*DLL Name: //p' | tr 'A-Z' 'a-z' | sort; }
Exports() { x86_64-w64-mingw32-objdump -p "$1" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/s/^\s*\[ *[0-9]*\] //p' | sort; }

# ImportsOnly FILE [DLL]: FILE imports DLL, when given, and besides it only
# the DLLs every Windows has; anything else (libstdc++-6.dll,
# libwinpthread-1.dll, ...) would have to travel with the program.
ImportsOnly() {
    [ "$(Imports "$1" | grep -vxE 'kernel32\.dll|user32\.dll|msvcrt\.dll|ucrtbase\.dll|api-ms-win-.*\.dll|setupapi\.dll|hid\.dll')" = "${2:-}" ] ||
        { echo "imports: $(Imports "$1" | tr '\n' ' ')" && return 1; }
}
# The HID library's four calls, and no other export.
FourCalls() {
    ImportsOnly "$1" && [ "$(Exports "$1")" = $'CloseHidHandle\nOpenHidHandle\nReadReport\nWriteReport' ] ||
        { echo "exports: $(Exports "$1" | tr '\n' ' ')" && return 1; }
}

Check "lumadrifter.exe imports tiny_hid_dll.dll and system DLLs only" ImportsOnly "$build/lumadrifter.exe" tiny_hid_dll.dll
Check "tiny_hid_dll.dll exports the four calls, imports system DLLs only" FourCalls "$build/tiny_hid_dll.dll"
Check "the scripted tiny_hid_dll.dll exports the same four calls" FourCalls "$build/scripted/tiny_hid_dll.dll"

# --- Wine ------------------------------------------------------------------

unset DISPLAY WAYLAND_DISPLAY
prefix=$(mktemp -d /tmp/lumadrifter-wine.XXXXXX)
export WINEPREFIX=$prefix WINEDEBUG=-all,err+module WINEDLLOVERRIDES="mscoree,mshtml="
Boot() { wineboot -i && wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f; }
Must "Wine prefix" "$build/boot.log" Boot
# The first start made its desktop without a graphics driver; the runs get
# a new one, with the null driver. The server then stays up between runs.
wineserver -w
# The probe gives the remote 100 ms to answer, and under Wine the reader
# thread's start goes through the server: on a busy machine, the server and
# the program run ahead of other work where that is allowed (round-robin
# real-time scheduling, else a higher priority).
favour=(chrt -r 1)
chrt -r 1 true 2>/dev/null || favour=(nice -n -10)
[ "${favour[0]}" = chrt ] || [ "$(nice -n -10 nice 2>/dev/null)" -lt "$(nice)" ] || favour=()
"${favour[@]}" wineserver -p
rm -rf "$results" && mkdir -p "$results"

# A Windows path: the scripted library reads it through the C runtime.
WinePath() { echo "Z:$1"; }
# A Windows text file without its carriage returns.
Text() { tr -d '\r' <"$1"; }

# Each thread of process $1: its name, state and where the kernel has it
# wait; then where Wine's debugger finds the program's threads.
ThreadStates() {
    local task
    for task in /proc/"$1"/task/*; do
        echo "  $(cat "$task/comm" 2>/dev/null) $(cut -d' ' -f3 "$task/stat" 2>/dev/null) $(cat "$task/wchan" 2>/dev/null)"
    done
    timeout 60 winedbg --command "bt all" 2>&1 </dev/null | tr -d '\r' |
        awk '/^Backtracing for thread/ { keep = /lumadrifter/ } keep && /^(Backtracing|=>| +[0-9]+ )/' |
        sed 's/^/  /' | cut -c1-160
}

# --- The application manifest ------------------------------------------------

# lumadrifter.exe carries a manifest that declares it per-monitor DPI aware,
# so that cursor positions are physical pixels on scaled screens. The helper
# reads the manifest out of the .exe; it carries the same manifest itself,
# and says how DPI aware the system then runs it (2: per monitor). Its
# output goes to a file: what Wine starts would keep a pipe open.
timeout 60 wine "$helper" manifest "$(WinePath "$build/lumadrifter.exe")" >"$results/manifest.raw" 2>&1
Text "$results/manifest.raw" >"$results/manifest.txt"
PerMonitor() {
    grep -q '<dpiAware [^>]*>true/pm</dpiAware>' "$1" &&
        grep -q '<dpiAwareness [^>]*>PerMonitorV2,PerMonitor</dpiAwareness>' "$1" &&
        grep -qx 'awareness 2' "$1" || { tail -5 "$1" && return 1; }
}
Check "lumadrifter.exe declares itself per-monitor DPI aware in its manifest" PerMonitor "$results/manifest.txt"

# --- A run -------------------------------------------------------------------

WatcherUp() { HasText "$dir/mouse.log" '^ready' && HasText "$dir/mouse.log" $'^screen [1-9][0-9]* [1-9][0-9]*\r$'; }

# RunOnce <name> <program.exe> <script or "">
#
# Runs the program in a pseudo-terminal, so that it has a console as it would
# in a console window, with its output going to stdout.txt. The mouse
# watcher runs throughout, the message box helper too (given time to end
# when $box is set); $action, a shell function, runs once the program is
# started. $ids and $keyboard: see Case.
RunOnce() {
    local name=$1 program=$2 script=$3
    dir=$results/$name
    mkdir -p "$dir"

    # The watcher, started again should Wine not bring it up in time, or
    # bring it up with no screen (a loaded machine can do either; that is the
    # test's own helper, before the program has run).
    local watcher try
    for try in 1 2 3; do
        wine "$helper" watch 300 200 "$(WinePath "$dir/watch.stop")" >"$dir/mouse.log" 2>"$dir/watch.err" </dev/null &
        watcher=$!
        WaitFor 30 HasText "$dir/mouse.log" '^ready' && WatcherUp && break
        Stop "$watcher"
        echo "    $name: the mouse watcher did not start within 30 s (try $try): $(Text "$dir/mouse.log" | head -1)"
    done
    WatcherUp || Note "the mouse watcher did not start" || return
    # Also where no box is expected: one that comes all the same ends the
    # run at once, and says what it was.
    wine "$helper" dismiss 30 >"$dir/box.txt" 2>&1 </dev/null &
    local dismisser=$!

    local env=(RUN_PROGRAM="$program" RUN_DIR="$dir")
    [ -n "$script" ] && env+=(LUMADRIFTER_TEST_HID_SCRIPT="$(WinePath "$script")"
        LUMADRIFTER_TEST_HID_LOG="$(WinePath "$dir/hid.log")")
    [ -n "${ids:-}" ] && env+=(WINEDLLOVERRIDES="$WINEDLLOVERRIDES;hid,setupapi=n,b"
        LUMADRIFTER_TEST_HID_IDS="$ids" ${keyboard:+"LUMADRIFTER_TEST_HID_KEYBOARD_IDS=$keyboard"})
    env "${env[@]}" "${favour[@]}" script -qec 'echo $$ >"$RUN_DIR/pid"; exec wine "$RUN_PROGRAM" >"$RUN_DIR/stdout.txt" 2>"$RUN_DIR/stderr.txt"' \
        /dev/null </dev/null >/dev/null &
    local terminal=$!

    [ -n "${action:-}" ] && "$action"

    if WaitFor 30 Ended "$terminal"; then
        wait "$terminal"
        echo $? >"$dir/exit"
    else
        Note "still running after 30 s; its threads (name, state, waiting in):" "$(ThreadStates "$(cat "$dir/pid")")"
        kill -KILL "$(cat "$dir/pid")" 2>/dev/null
        Stop "$terminal"
    fi
    [ -z "${box:-}" ] || WaitFor 5 Ended "$dismisser"
    Stop "$dismisser"
    # The watcher's last cursor sample, taken once the program has ended.
    touch "$dir/watch.stop"
    WaitFor 10 HasText "$dir/mouse.log" '^done' || Note "the mouse watcher did not end"
    Stop "$watcher"
}

# --- What the runs should show -----------------------------------------------

# What every suite expects (tests/expected_banner.h, tests/expected_reports.h):
# the banner; mode 0x31 for the probe, LED 1, the IR camera set-up, mode
# 0x33; camera and rumble off, buttons only, then the handle closed.
banner=$("$read_log" expected banner; echo .)
banner=${banner%.}
startup=$("$read_log" expected startup)
quiet=$("$read_log" expected quiet; echo close)
grep -q '^Usage:$' <<<"$banner" && grep -qx 'write 3: 12 00 33' <<<"$startup" &&
    grep -qx 'write 3: 12 00 30' <<<"$quiet" || Fail "the expected banner and reports" "$banner$startup$quiet"
opened="open 7 05 7e 03 06"
whole=$(printf '%s\n' "$opened" "$startup" "$quiet")
reselected=$(printf '%s\n' "$opened" "$startup" "write 3: 12 00 33" "$quiet")
unanswered=$(printf '%s\n' "$opened" "write 3: 12 00 31" close)
newer=$(printf '%s\n' "open 7 05 7e 03 30" "$startup" "$quiet")
ng="${banner}IR-Track NG"
at='300 200'

# Button, wheel and move events the hook saw, in order; where the cursor
# stood, in order, from the start position on.
MouseEvents() { Text "$dir/mouse.log" | grep -vE '^(screen .*|ready|cursor .*|done)$'; }
CursorPath() { Text "$dir/mouse.log" | sed -n 's/^cursor //p'; }

# Note <line>...: a failure of the run, kept in its folder; gives 1.
Note() {
    printf '%s\n' "$@" >>"$dir/failure"
    return 1
}

# Compare <what> <expected> <actual>: notes a difference in the run's failure.
Compare() { [ "$2" = "$3" ] || Note "$1 differs (expected, then seen):" "$(diff <(echo "$2") <(echo "$3"))"; }

Verdict() { if [ -f "$dir/failure" ]; then Fail "$1" "$(cat "$dir/failure")"; else Pass "$1"; fi; }

# Case <name> <program> <scenario or ""> <verdict>: a run and its checks,
# by default those of a whole run ended by Home. Set for one case what
# differs: $code (the exit code, 0; - not checked), $console (the banner and
# "IR-Track NG"; - not checked), $errors (none), $box (the text of an "Error"
# box dismissed with OK; none), $events (the mouse events the hook saw,
# none), $side (the remote's side, read_log side), $more (commands, checks
# besides), $action (see RunOnce), $ids and $keyboard (see below). A run the
# machine was late for is said and run once more, up to three times.
Case() {
    local code=${code-0} console=${console-$ng} side=${side-$whole} box=${box:-} try late
    for try in 1 2 3; do
        RunOnce "$1" "$2" "${3:+$scenarios/$3.script}"
        late=$("$read_log" late "$dir/hid.log") && [ "$try" -lt 3 ] || break
        echo "    $1: $late; running once more"
        mv "$dir" "$dir.late$try"
    done
    if [ ! -f "$dir/failure" ]; then
        [ "$code" = - ] || Compare "exit code" "$code" "$(cat "$dir/exit")"
        [ "$console" = - ] || Compare "console output" "$(printf '%s' "$console" | sed 's/$/\r/')" "$(cat "$dir/stdout.txt")"
        Compare "error output" "$(printf '%s' "${errors:-}" | sed 's/$/\r/')" "$(cat "$dir/stderr.txt")"
        Compare "message box" "${box:+$(printf '%s\n' "caption: Error" "text: $box" "owner: none" "button: OK")}" \
            "$(Text "$dir/box.txt" | grep -vx 'no message box')"
        Compare "mouse events" "${events:-}" "$(MouseEvents)"
    fi
    Compare "remote side" "$side" "$("$read_log" side "$dir/hid.log")"
    [ -z "${more:-}" ] || eval "$more"
    Verdict "$4"
}

# WayOut <way> gone | <way> <moment> <us>: the run's line of the table of
# ways out, as the Linux suite prints it (read_log way-out): the exit code,
# the buttons the hook saw go down and not up, the remote's last writes and
# the time from the moment (on the scripted remote's clock) to its close.
WayOut() {
    local held
    held=$(MouseEvents | awk '
        $1 ~ /-down$/ { down[substr($1, 1, length($1) - 5)] = 1 }
        $1 ~ /-up$/ { delete down[substr($1, 1, length($1) - 3)] }
        END { for (b in down) list = list " " b; print list == "" ? "none" : substr(list, 2) }')
    "$read_log" way-out "$dir/hid.log" "$1" "$(cat "$dir/exit" 2>/dev/null)" "$held" "${@:2}"
}

# Clamp <x> <y>: the position kept on the screen (width by height pixels).
Clamp() { echo "$(($1 < 0 ? 0 : $1 >= width ? width - 1 : $1)) $(($2 < 0 ? 0 : $2 >= height ? height - 1 : $2))"; }

# Path <last position> <position>...: the cursor ended at the last position
# given, and every position seen appears, in order, among those given (the
# sampling may miss some, it must not see others); each clamped to the screen.
Path() {
    local way
    way=$(for position in "${@:2}"; do Clamp $position; done | paste -sd,)
    Compare "last cursor position" "$(Clamp $1)" "$(CursorPath | tail -1)"
    CursorPath | awk -v way="$way" 'BEGIN { n = split(way, w, ",") } { while (i < n && w[i + 1] != $0) i++ } i == n { exit 1 }' ||
        Note "cursor path off the way expected: $(CursorPath | tr '\n' ',')"
}

# Each rumble pulse must hold the remote's motor on for at least 80 ms.
RumbleGaps() {
    Compare "rumble pulses" $'long enough\nlong enough' "$(Text "$dir/hid.log" | awk '
        $1 == "write" && $4 == "13" && $5 == "05" { on = $2 }
        $1 == "write" && $4 == "13" && $5 == "04" && on { print ($2 - on >= 80000 ? "long enough" : "short " $2 - on); on = 0 }')"
}

# The D-pad's way from the corner: left 169 and down 6, never beyond (the
# start position, before the corner, aside).
DpadWay() {
    local right=${corner% *} left=$((${corner% *} - 169))
    Compare "last cursor position" "$left 6" "$(CursorPath | tail -1)"
    CursorPath | tail -n +2 | awk -v l="$left" -v r="$right" '$1 < l || $1 > r || $2 < 0 || $2 > 6 { bad = 1 } END { exit bad }' ||
        Note "the cursor left the D-pad's way from ($corner) to ($left, 6)"
}

# EndedBy <key>: the program read fewer reports than the scenario serves.
EndedBy() {
    local reads
    reads=$(Text "$dir/hid.log" | grep -c '^read ')
    [ "$reads" -lt 501 ] || Note "$1 did not end the program; $reads reports read"
}

# When the helper typed key $1 in this run.
Typed() { Text "$dir/type_keys.log" 2>/dev/null | awk -v key="$1" '$1 == "typed" && $2 == key { print $3 }' | tail -1; }

# TypeKey <key> <what>: the helper types the key into the program's console
# (and says when, should it live to: see Typed).
TypeKey() {
    wine "$helper" type lumadrifter.exe "$1" </dev/null >>"$dir/type_keys.log" 2>&1 ||
        Note "$2 could not be typed: $(Text "$dir/type_keys.log")"
}

# Two reports read after the moment $1, or the program gone.
TwoReadsAfterOrEnded() { [ "$(Text "$dir/hid.log" | awk -v t="$1" '$1 == "read" && $2 > t' | wc -l)" -ge 2 ] || Ended "$(cat "$dir/pid")"; }

# Typed once the banner is out: another key first, which changes nothing
# (two reports are read after it: the key test has run since, and the
# program went on), then Escape.
TypeKeys() {
    WaitFor 30 HasText "$dir/stdout.txt" 'Home button' || Note "no banner" || return
    TypeKey x x || return
    [ -n "$(Typed x)" ] || Note "x could not be typed: $(Text "$dir/type_keys.log")" || return
    WaitFor 30 TwoReadsAfterOrEnded "$(Typed x)" && ! Ended "$(cat "$dir/pid")" ||
        Note "the program ended on a key other than Escape" || return
    TypeKey esc Escape
}

# Ctrl+C typed into the console once the buttons are down.
TypeControlC() {
    WaitFor 30 HasText "$dir/mouse.log" '^left-down' || Note "the buttons never went down" || return
    TypeKey ctrl-c Ctrl+C
}

# --- Scenarios, with the scripted tiny_hid_dll.dll ----------------------------

scripted=$build/scripted/lumadrifter.exe
stand_in=$build/stand-in/lumadrifter.exe
not_found="Wii-Remote not found."

code=1 console= box=$not_found side="open -1 05 7e 03 06" Case no_remote "$scripted" no_remote \
    "no remote: \"Wii-Remote not found.\" shown and dismissed, exit code 1"
# Where the camera set-up's acknowledgements put the cursor: they reach the
# control loop before any IR report, their dots read (0, 0) and count as
# seen, and the target (2048, -1024) is clamped to the screen's top right
# corner. The screen is the one the watcher saw in the first run.
read -r width height < <(Text "$results/no_remote/mouse.log" | sed -n 's/^screen //p')
corner="$((width - 1)) 0"
B=$(printf '%s\n' "left-down $corner" "left-up $corner")
console= box="Wii-Remote cannot open." side=$unanswered Case silent "$scripted" silent \
    "silent remote: \"Wii-Remote cannot open.\", the blocked reader ended, exit code 0"
more='Path "$corner" "$at" "$corner"' Case home "$scripted" home "a whole run ended by Home: banner and output reports"
side=$reselected Case status "$scripted" status "a status report: the reporting mode selected again"
# The status report goes ahead of the set-up's answers: whichever thread
# reads it selects the mode again; the IR mode's first report, no dots seen,
# comes before Home.
side=$reselected Case status_after_setup "$scripted" status_after_setup \
    "a status report after the camera set-up: the reporting mode selected again"
events=$(printf '%s\n' "$B" "right-down $corner" "right-up $corner" "wheel "{+,+,+,-,-,-,+}"64 $corner") \
    side=$(printf '%s\n' "$opened" "$startup" "write 2: 13 "{05,04,05,04} "$quiet") \
    more=RumbleGaps Case clicks_wheel "$scripted" clicks_wheel "clicks and wheel amounts as the hook saw them"
more=DpadWay Case dpad "$scripted" dpad "D-pad: cursor moved left 169 and down 6 from the corner"
# The IR pointer's way (tests/scenarios/ir_trace.script): from the corner's
# target (2048, -1024) a sixth of the way a report to (488, 206), turned
# towards (788, 206), found again at the end.
ir_way=("2048 -1024" "1788 -819" "1571 -648" "1390 -505" "1239 -386" "1113 -287" "1008 -204" "921 -135" "848 -78"
    "788 -30" "738 9" "746 41" "753 68" "758 91" "763 110" "767 126" "770 139")
console=$(printf '%s\n' "$ng" "IR-Track Ok") more='Path "770 139" "$at" "${ir_way[@]}"' Case ir_trace "$scripted" \
    ir_trace "IR pointer: cursor placed, smoothed, tracking lost and found"
# Placed at the screen's top right corner, then moved left by the D-pad.
more='Path "$((width - 7)) 0" "$at" "$corner" "$((width - 2)) 0" "$((width - 4)) 0" "$((width - 7)) 0"' Case clamp \
    "$scripted" clamp "cursor placement clamped to the screen, the D-pad going on from there"
code=1 box="Wii-Remote disconnected." events=$B Case gone "$scripted" gone \
    "remote gone: left button released, remote quietened, exit code 1"
WayOut "the remote gone with B held (Windows)" gone
action=TypeKeys more="EndedBy Escape" Case escape "$scripted" escape "Escape typed into the console ends the run"
WayOut "Escape in the console (Windows)" "the key was typed" "$(Typed esc)"
# The system ends the program: its exit code and console are not checked.
code=- console=- events=$(printf '%s\n' {right-down,left-down,left-up,right-up}" $corner") \
    action=TypeControlC more="EndedBy Ctrl+C" Case interrupt "$scripted" interrupt \
    "Ctrl+C in the console: the buttons held are let go, the remote is left quiet and closed"
WayOut "Ctrl+C with B and A held (Windows)" "the key was typed" "$(Typed ctrl-c)"

# --- The real tiny_hid_dll.dll ------------------------------------------------

# In a system with no remote: SetupAPI finds none.
code=1 console= box=$not_found side= Case real_library "$build/lumadrifter.exe" "" \
    "the real tiny_hid_dll.dll finds no remote: \"Wii-Remote not found.\", exit code 1"
# With $ids, stand-ins for hid.dll and setupapi.dll beside the real library
# (tests/wine/stand_in_hid.cpp): the remote it finds, with these ids, is a
# pipe served from the scenario and logged as the scripted library logs; a
# report of the wrong length, or a set-report request, shows on standard
# error. Before it come a device that cannot be opened at all and a keyboard
# (ids $keyboard, else 046d:c31c) that opens with no access rights only.
ids=057e:0306 Case library_home "$stand_in" home \
    "the real library passes over a keyboard it may not read; a whole run, each report written with its own length"
# A device with the remote's ids that cannot be opened for reading and
# writing (another program holds it) is said on standard error and passed
# over; the search goes on to the remote.
ids=057e:0306 keyboard=057e:0306 errors="tiny_hid_dll: the remote 057e:0306 cannot be opened (error 5)." \
    Case library_remote_held_elsewhere "$stand_in" home \
    "the real library says which remote it could not open, and goes on to the next"
ids=057e:0330 side=$newer Case library_newer_model "$stand_in" home \
    "the real library finds the newer model (product 0330) when there is no 0306"
ids=046d:c52b code=1 console= box=$not_found side= Case library_other_device "$stand_in" home \
    "the real library passes over a device with other ids"
ids=057e:0306 console= box="Wii-Remote cannot open." side=$unanswered Case library_silent "$stand_in" silent \
    "the real library: the reader ended inside its read, the device closed"
# Once the remote is gone the library writes nothing more: the shutdown
# reports are not sent, and the device is only closed.
ids=057e:0306 code=1 box="Wii-Remote disconnected." events=$B side=$(printf '%s\n' "$opened" "$startup" close) \
    Case library_gone "$stand_in" gone "the real library: the remote gone mid-run ends reading at once"

# What Windows users download, the zip of tools/package.sh --windows: one
# folder with the program, the real library, README.txt (the buttons, as the
# banner lists them) and the licence notice, both with Windows line ends.
# Unpacked, the stand-ins beside it, it makes a whole run; the newer model,
# which only the real library finds, shows the zip's library is that one.
dir=$results/windows_zip
mkdir -p "$dir"
zipped=lumadrifter-$(Version "$root")-windows-x64
unpacked=$dir/unpacked/$zipped
if OUT=$build/package bash "$root/tools/package.sh" --windows >"$dir/package.log" 2>&1 &&
    unzip -q "$build/package/$zipped.zip" -d "$dir/unpacked"; then
    Compare "files in the zip" "$(printf '%s\n' "$zipped"/{README.txt,copyright.txt,lumadrifter.exe,tiny_hid_dll.dll})" \
        "$(unzip -Z1 "$build/package/$zipped.zip" | LC_ALL=C sort)"
    for text in README.txt copyright.txt; do
        Compare "lines of $text without CRLF" 0 "$(grep -vc $'\r$' "$unpacked/$text")"
    done
    Compare "README.txt's buttons" "$(sed -n '/^Usage:$/,/^$/p' <<<"$banner")" \
        "$(Text "$unpacked/README.txt" | sed -n '/^Usage:$/,/^$/p')"
    Compare "copyright.txt" "$(cat "$root/debian/copyright")" "$(Text "$unpacked/copyright.txt")"
    Compare "imports of the zip's lumadrifter.exe" "$(Imports "$build/lumadrifter.exe")" \
        "$(Imports "$unpacked/lumadrifter.exe")"
else
    Note "tools/package.sh --windows failed:" "$(tail -20 "$dir/package.log")"
fi
Verdict "the Windows zip: one folder with the program, the real library, README.txt and copyright.txt"

cp "$build/stand-in/hid.dll" "$build/stand-in/setupapi.dll" "$unpacked/"
ids=057e:0330 side=$newer Case windows_zip_home "$unpacked/lumadrifter.exe" home \
    "the program unpacked from the Windows zip: a whole run with its own tiny_hid_dll.dll"

Finish wine
