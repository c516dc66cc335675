// Real parts for the end-to-end tests: an X server of the test's own, the
// built program run with the scripted HID library swapped in, an XRecord
// client that sees the buttons and the cursor, and the scripted remote's
// log. Every process started here is stopped by its PID, also when a test
// fails.
#pragma once

#include "tests/remote_log.h"
#include "tests/test_kit.h"

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <termios.h>
#include <unistd.h>
#include <utility>
#include <vector>

// Xlib's headers stay out of the tests: their macros (None, Bool) clash
// with GoogleTest's names.
struct _XDisplay;

using Ms = std::chrono::milliseconds;

// A scratch folder (under $TMPDIR, else /tmp), removed with everything in it.
struct TempDir {
    std::string path;
    TempDir();
    ~TempDir() { std::filesystem::remove_all(path); }
    std::string File(const std::string &name) const { return path + "/" + name; }
};

std::string ReadWholeFile(const std::string &path);
inline std::string ScenarioPath(const std::string &name) {
    return std::string(SCENARIO_DIR) + "/" + name + ".script";
}

// Xvfb on a display it picks itself (-displayfd).
struct XServer {
    pid_t pid = -1;
    std::string display; // ":N"
    _XDisplay *control = nullptr;

    XServer();
    ~XServer() { Stop(); }
    // Ends the server under its clients, the test's own connection closed
    // first (a recorder on it goes before).
    void Stop();
    void Warp(int x, int y);
    // The pointer's root position; buttons, when given, takes the pointer
    // buttons the server holds down, as XQueryPointer's mask.
    std::pair<int, int> Cursor(unsigned *buttons = nullptr);
    unsigned ButtonsDown() {
        unsigned buttons;
        Cursor(&buttons);
        return buttons;
    }
    bool ButtonsBecome(unsigned mask) {
        return WaitUntil([&] { return ButtonsDown() == mask; });
    }
};

// A headless Wayland session of the test's own: sway with its outputs laid
// out by config (a sway config's lines), and on demand XWayland in it, as a
// desktop runs it for X programs. Run as nobody when the test is root, since
// sway will not run as root. socket is empty when sway did not start: the
// case is then skipped (sway or XWayland missing) or failed, saying why.
struct WaylandSession {
    WaylandSession(int outputs, const std::string &config);
    ~WaylandSession() {
        StopProcess(xwayland);
        StopProcess(sway);
    }
    // XWayland on a display it picks, open to every local client.
    bool StartXWayland();
    // swaymsg with these arguments, as the session's user; whether it
    // succeeded.
    bool Msg(std::vector<std::string> args);
    // Starts a program in the session, as its user, with env besides the
    // session's own variables, its output to the session's log.
    pid_t Run(std::vector<std::string> env, const std::vector<std::string> &argv);

    TempDir dir; // its XDG_RUNTIME_DIR
    pid_t sway = -1, xwayland = -1;
    // The Wayland socket's and sway's IPC socket's full paths; XWayland's ":N".
    std::string socket, ipc, display;
};

// What the X server did with the pointer, as an XRecord client saw it.
enum XActionType { XPress = 4, XRelease = 5, XMotion = 6 }; // the core event codes
struct XAction {
    int type;   // XPress, XRelease, XMotion
    int detail; // the button
    int x, y;   // root position, for motion
    bool operator==(const XAction &) const = default;
};
void PrintTo(const XAction &a, std::ostream *os);
inline constexpr auto Press = [](int button) { return XAction{XPress, button, 0, 0}; };
inline constexpr auto Release = [](int button) { return XAction{XRelease, button, 0, 0}; };

struct XRecorder {
    explicit XRecorder(XServer &server);
    ~XRecorder();
    // Everything up to now: a sentinel key event is sent and the record is
    // read until it comes back, so nothing sent before is still in flight.
    std::vector<XAction> Actions();
    std::vector<XAction> Buttons();
    std::vector<std::pair<int, int>> Positions(); // motion, repeats dropped

    XServer &server;
    _XDisplay *data = nullptr;
    unsigned long context = 0;
    std::vector<XAction> seen;
    int sentinelKey = 0;
    bool sentinelSeen = false;
};

// What a way out is tried with: B, A, or both held on the remote.
struct Hold {
    const char *name;
    const char *buttons2; // the data reports' second button byte, in hex
    unsigned mask;        // the X buttons it holds (XServer::ButtonsDown)
    // The X server's presses, then its releases as the control loop lets go
    // (right first) and as the signal thread does (left first).
    std::vector<XAction> byLoop, bySignal;
};
extern const Hold holds[3];
// A scenario written into dir: the probe's answer, then `reports` reports
// 20 ms apart with the hold's buttons down, then, when gone, the remote
// going away.
std::string HoldScript(const TempDir &dir, const Hold &hold, int reports, bool gone = false);

// How the program is started.
struct Launch {
    std::optional<std::string> display{}; // DISPLAY, unset when empty
    std::optional<std::string> wayland{}; // WAYLAND_DISPLAY
    std::optional<std::string> runtime{}; // XDG_RUNTIME_DIR
    bool scripted = true;                 // the scripted HID library first
    std::string script{};                 // a scenario's path
    std::string node{};                   // the remote's stand-in node, shared by programs
    enum Input { Pipe, Closed, Terminal } input = Pipe;
    const char *binary = nullptr; // the built program when unset
    bool jobControl = false;      // Terminal: run as a shell's job (Ctrl-Z stops it)
    bool outputUnread = false;    // Pipe: stdout a pipe no one reads (as `| head` ends)
};

// The built program, running. Its output goes to files; in Terminal mode its
// stdin, stdout and stderr are a pseudo-terminal held by the test.
struct Program {
    Program(const Launch &launch);
    ~Program() { Reset(); }

    void Type(const std::string &bytes);
    void CloseInput() { close(std::exchange(input, -1)); } // close(-1) does nothing
    // Takes what the program wrote on its terminal (none when not on one).
    void Drain();
    bool Running();
    // Types key and waits for the events that show it changed nothing: n
    // reports read after it (the control loop's key test has run again since).
    bool TypedThenRead(const std::string &key, size_t n);
    // Waits until the main thread sleeps in the kernel's call (its
    // /proc/<pid>/wchan): a poll with no end is the wait for a key (the
    // control loop's key test does not block), a nanosleep the scripted
    // remote's wait for its next report.
    bool SleepsIn(const std::string &call);
    // Waits for the end, the exit code (or 128 + signal); -1 on timeout, when
    // the program is killed.
    int WaitForExit(Ms limit = Ms(20000));
    // Waits until stdout (or the terminal) shows text.
    bool WaitForOutput(const std::string &text, Ms limit = Ms(10000));
    std::string Stdout() { return terminal != -1 ? screen : ReadWholeFile(dir.File("stdout")); }
    std::string Stderr() { return ReadWholeFile(dir.File("stderr")); }
    // The scripted remote's log (tests/remote_log.h): open, write, read, close.
    std::vector<LogLine> HidLog() { return ParseLog(ReadWholeFile(dir.File("hid.log"))); }
    bool HidLogExists() { return std::filesystem::exists(dir.File("hid.log")); }
    void Start(const Launch &launch);
    // Stops the program if it still runs and closes its input and terminal.
    void Reset();

    TempDir dir;
    pid_t pid = -1;
    int input = -1;    // the pipe's or the terminal's writing end
    int terminal = -1; // Terminal mode: the side the program holds
    std::string screen;
    termios before{};
    int exitCode = -1;
    double cpuSeconds = 0; // once it has ended
};

// The run's last writes are the quiet state, and the close is the last of
// all: nothing the control loop was about to send follows them.
void ExpectLeftQuiet(const std::vector<LogLine> &log);

// The monotonic clock in microseconds, as the remote's log counts it.
inline int64_t MonotonicUs() {
    using namespace std::chrono;
    return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
}

// "as before" when the terminal's settings are what they were before the
// program started, else what changed; "not a terminal" off one.
std::string TerminalEnd(const Program &p);

// Ends the program: types `typed`, or with none sends it the signal code
// - 128. It must end with code, nothing held on x, its terminal (if any) as
// before and the remote left quiet. Prints the way out, timed from the
// moment the key was typed or the signal sent (`sent`), and returns it.
// With no way (an end not in the table) the remote is neither checked nor
// printed.
int64_t ExpectEndedBy(const std::string &way, Program &p, XServer &x, int code,
                      const char *typed = nullptr, const char *sent = "the signal was sent");

// One line of the table of ways out (WayOutLine, tests/remote_log.h), from
// what the test measured, for `ctest -V | grep -o 'way out: .*'`; it
// asserts nothing. The buttons are the X server's, the terminal as before,
// what changed, or not a terminal. Call it once the program has ended (or
// stopped) and the buttons were read.
void PrintWayOut(const std::string &way, Program &p, unsigned buttonsDown, Moment since);
