# What the shell suites share, sourced by each: counting checks, waiting
# for an event, stopping what a suite started, an X server of its own.

passed=0
failed=0

# Pass NAME, Fail NAME [DETAIL...]: a line each, the details indented.
Pass() {
    echo "PASS $1"
    passed=$((passed + 1))
}

Fail() {
    echo "FAIL $1"
    shift
    [ $# -gt 0 ] && printf '%s\n' "$@" | sed 's/^/    /'
    failed=$((failed + 1))
}

# Check NAME COMMAND...: passes when the command does; its output is shown
# when it fails.
Check() {
    local name=$1 out
    shift
    if out=$("$@" 2>&1); then
        Pass "$name"
    else
        Fail "$name" "$out"
    fi
}

# The suite's last line, "SUITE: N passed, M failed", and its status.
Tally() {
    echo "$1: $passed passed, $failed failed"
    [ "$failed" -eq 0 ]
}

# Finish SUITE: Tally, then exit with its status.
Finish() {
    Tally "$1"
    exit
}

# The version at the top of debian/changelog in the tree $1.
Version() {
    sed -n '1s/^lumadrifter (\([^)]*\)).*/\1/p' "$1/debian/changelog"
}

# WaitFor SECONDS COMMAND...: polls the command every tenth of a second
# until it succeeds; 1 when it has not within the time (a guard against a
# hang, not a measure of time).
WaitFor() {
    local tenths=$(($1 * 10))
    shift
    until "$@"; do
        [ "$tenths" -le 0 ] && return 1
        sleep 0.1
        tenths=$((tenths - 1))
    done
}

Ended() {
    ! kill -0 "$1" 2>/dev/null
}

HasText() {
    grep -q "$2" "$1" 2>/dev/null
}

# Stop PID...: killed, and waited for.
Stop() {
    kill -KILL "$@" 2>/dev/null
    wait "$@" 2>/dev/null
}

# StartXvfb DIR: an X server on a display it picks itself; sets xvfb to its
# PID and display to ":N". 1 when it did not start.
StartXvfb() {
    Xvfb -displayfd 5 -nolisten tcp 5>"$1/display" >/dev/null 2>&1 &
    xvfb=$!
    WaitFor 10 test -s "$1/display" || return 1
    display=:$(cat "$1/display")
}
