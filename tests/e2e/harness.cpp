#include "tests/e2e/harness.h"
#include "tests/expected_reports.h"

#include <gtest/gtest.h>

// After GoogleTest, whose names Xlib's macros would hide.
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/extensions/record.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <grp.h>
#include <poll.h>
#include <pty.h>
#include <sstream>
#include <string_view>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/wait.h>

extern char **environ;

TempDir::TempDir() {
    const char *base = std::getenv("TMPDIR");
    std::string name = std::string(base && *base ? base : "/tmp") + "/lumadrifter-e2e-XXXXXX";
    path = mkdtemp(name.data()) ? name : "";
}

std::string ReadWholeFile(const std::string &path) {
    std::ostringstream text;
    text << std::ifstream(path, std::ios::binary).rdbuf();
    return text.str();
}

// execve's form of a list of strings, which must outlive it.
static std::vector<char *> Pointers(std::vector<std::string> &strings) {
    std::vector<char *> pointers;
    for (std::string &s : strings)
        pointers.push_back(s.data());
    pointers.push_back(nullptr);
    return pointers;
}

// Starts argv (its program found on PATH) with env, the test's own when
// empty; stdin from /dev/null, stdout and stderr to log (else /dev/null); as
// nobody when asked and the test is root. Its lists are made before the fork:
// the child of a process with threads may not allocate.
static pid_t Spawn(std::vector<std::string> argv, std::vector<std::string> env = {},
                   const std::string &log = "", bool nobody = false) {
    std::vector<char *> argvp = Pointers(argv), envp = Pointers(env);
    pid_t pid = fork();
    if (pid != 0)
        return pid;
    if (nobody && getuid() == 0 &&
        (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0))
        _exit(126);
    int null = open("/dev/null", O_RDWR),
        out = open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    dup2(null, 0);
    dup2(out >= 0 ? out : null, 1);
    dup2(out >= 0 ? out : null, 2);
    execvpe(argvp[0], argvp.data(), env.empty() ? environ : envp.data());
    _exit(127);
}

// Starts an X server that takes -displayfd: start, given the pipe's writing
// end, starts it and returns its PID. The server writes its number to the
// pipe once it accepts connections: its ":N", or empty when it never did.
static std::string StartDisplay(pid_t *pid, const std::function<pid_t(std::string fd)> &start) {
    int ready[2];
    if (pipe(ready) != 0)
        return "";
    *pid = start(std::to_string(ready[1]));
    close(ready[1]);
    std::string number;
    char c;
    pollfd p = {ready[0], POLLIN, 0};
    while (poll(&p, 1, 30000) == 1 && read(ready[0], &c, 1) == 1 && c != '\n')
        number += c;
    close(ready[0]);
    return number.empty() ? "" : ":" + number;
}

XServer::XServer() {
    display = StartDisplay(&pid, [](std::string fd) {
        return Spawn({"Xvfb", "-displayfd", fd, "-screen", "0", "1280x1024x24", "-nolisten", "tcp",
                      "-noreset"});
    });
    if (display.empty())
        ADD_FAILURE() << "Xvfb did not start";
    else if (!(control = XOpenDisplay(display.c_str())))
        ADD_FAILURE() << "cannot open " << display;
}

// In the session: as its user, with an environment of its own, output to
// its log.
pid_t WaylandSession::Run(std::vector<std::string> env, const std::vector<std::string> &argv) {
    env.insert(env.end(), {"XDG_RUNTIME_DIR=" + dir.path, "HOME=" + dir.path,
                           "PATH=/usr/sbin:/usr/bin:/sbin:/bin"});
    return Spawn(argv, env, dir.File("log"), true);
}

static void Skip(const std::string &why) {
    GTEST_SKIP() << why;
}

WaylandSession::WaylandSession(int outputs, const std::string &config) {
    for (const char *program : {"/usr/bin/sway", "/usr/bin/Xwayland"})
        if (access(program, X_OK) != 0) {
            Skip(std::string(program) + " is missing: apt-get install sway xwayland");
            return;
        }
    if (getuid() == 0 && chown(dir.path.c_str(), 65534, 65534) != 0) {
        Skip("cannot hand the session's folder to nobody");
        return;
    }
    std::ofstream(dir.File("config")) << "xwayland disable\n" << config << "\n";
    // sway makes its IPC socket where SWAYSOCK says, after its Wayland
    // socket, the first free of wayland-1, wayland-2... in the folder.
    ipc = dir.File("sway-ipc.sock");
    socket = dir.File("wayland-1");
    sway = Run({"WLR_BACKENDS=headless", "WLR_RENDERER=pixman", "WLR_LIBINPUT_NO_DEVICES=1",
                "WLR_HEADLESS_OUTPUTS=" + std::to_string(outputs), "SWAYSOCK=" + ipc},
               {"/usr/bin/sway", "-c", dir.File("config")});
    WaitUntil(
        [&] {
            if (waitpid(sway, nullptr, WNOHANG) == sway)
                sway = -1;
            return std::filesystem::exists(ipc) || sway == -1;
        },
        30000);
    if (!std::filesystem::exists(ipc) || !std::filesystem::exists(socket)) {
        socket.clear();
        ADD_FAILURE() << "sway did not start: " << ReadWholeFile(dir.File("log"));
    }
}

bool WaylandSession::Msg(std::vector<std::string> args) {
    args.insert(args.begin(), "/usr/bin/swaymsg");
    int status = 0;
    waitpid(Run({"SWAYSOCK=" + ipc}, args), &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool WaylandSession::StartXWayland() {
    display = StartDisplay(&xwayland, [&](std::string fd) {
        return Run({"WAYLAND_DISPLAY=" + socket},
                   {"/usr/bin/Xwayland", "-displayfd", fd, "-ac", "-nolisten", "tcp"});
    });
    return !display.empty();
}

void XServer::Stop() {
    if (control)
        XCloseDisplay(std::exchange(control, nullptr));
    StopProcess(std::exchange(pid, -1));
}

void XServer::Warp(int x, int y) {
    XWarpPointer(control, None, DefaultRootWindow(control), 0, 0, 0, 0, x, y);
    XSync(control, False);
}

std::pair<int, int> XServer::Cursor(unsigned *buttons) {
    Window root, child;
    int x, y, wx, wy;
    unsigned mask;
    XQueryPointer(control, DefaultRootWindow(control), &root, &child, &x, &y, &wx, &wy, &mask);
    if (buttons)
        *buttons = mask & (Button1Mask | Button2Mask | Button3Mask | Button4Mask | Button5Mask);
    return {x, y};
}

void PrintTo(const XAction &a, std::ostream *os) {
    if (a.type == XMotion)
        *os << "Motion(" << a.x << ", " << a.y << ")";
    else
        *os << (a.type == XPress ? "Press(" : "Release(") << a.detail << ")";
}

// A recorded device event is the core event's 32 bytes:
//   [0] type  [1] detail (button or key)  [20..21] root x  [22..23] root y
static void Intercepted(XPointer closure, XRecordInterceptData *data) {
    auto *recorder = reinterpret_cast<XRecorder *>(closure);
    if (data->category == XRecordFromServer && data->data_len * 4 >= 32) {
        const unsigned char *e = data->data;
        int type = e[0] & 0x7F;
        int16_t at[2];
        std::memcpy(at, e + 20, 4);
        if (type == KeyRelease && e[1] == recorder->sentinelKey)
            recorder->sentinelSeen = true;
        else if (type == ButtonPress || type == ButtonRelease || type == MotionNotify)
            recorder->seen.push_back(type == MotionNotify ? XAction{type, 0, at[0], at[1]}
                                                          : XAction{type, e[1], 0, 0});
    }
    XRecordFreeData(data);
}

XRecorder::XRecorder(XServer &server) : server(server) {
    int minKey;
    XDisplayKeycodes(server.control, &minKey, &sentinelKey);
    data = XOpenDisplay(server.display.c_str());
    XRecordRange *range = XRecordAllocRange();
    range->device_events.first = KeyPress;
    range->device_events.last = MotionNotify;
    XRecordClientSpec clients = XRecordAllClients;
    context = XRecordCreateContext(server.control, 0, &clients, 1, &range, 1);
    XFree(range);
    XSync(server.control, False);
    XRecordEnableContextAsync(data, context, Intercepted, reinterpret_cast<XPointer>(this));
    XFlush(data);
}

XRecorder::~XRecorder() {
    XRecordDisableContext(server.control, context);
    XRecordFreeContext(server.control, context);
    XSync(server.control, False);
    XCloseDisplay(data);
}

std::vector<XAction> XRecorder::Actions() {
    sentinelSeen = false;
    XTestFakeKeyEvent(server.control, sentinelKey, True, CurrentTime);
    XTestFakeKeyEvent(server.control, sentinelKey, False, CurrentTime);
    XSync(server.control, False);
    auto cameRound = [&] {
        XRecordProcessReplies(data);
        return sentinelSeen;
    };
    EXPECT_TRUE(WaitUntil(cameRound, 10000)) << "the X record did not come round";
    return seen;
}

std::vector<XAction> XRecorder::Buttons() {
    std::vector<XAction> buttons = Actions();
    std::erase_if(buttons, [](const XAction &a) { return a.type == MotionNotify; });
    return buttons;
}

std::vector<std::pair<int, int>> XRecorder::Positions() {
    std::vector<std::pair<int, int>> positions;
    for (const XAction &a : Actions())
        if (a.type == XMotion && (positions.empty() || positions.back() != std::pair{a.x, a.y}))
            positions.push_back({a.x, a.y});
    return positions;
}

// The test's environment, less what would steer the program (a Wayland
// session's is found through XDG_RUNTIME_DIR or sudo's SUDO_UID), plus the
// launch's own settings.
static std::vector<std::string> Environment(const Launch &launch, const TempDir &dir) {
    std::vector<std::string> env;
    const std::string_view steering[] = {"DISPLAY=",     "WAYLAND_DISPLAY=", "LD_LIBRARY_PATH=",
                                         "LUMADRIFTER_", "XDG_RUNTIME_DIR=", "SUDO_"};
    for (char **e = environ; *e; e++)
        if (std::none_of(std::begin(steering), std::end(steering),
                         [&](std::string_view s) { return std::string_view(*e).starts_with(s); }))
            env.push_back(*e);
    for (auto [name, value] : {std::pair{"DISPLAY=", &launch.display},
                               {"WAYLAND_DISPLAY=", &launch.wayland},
                               {"XDG_RUNTIME_DIR=", &launch.runtime}})
        if (*value)
            env.push_back(name + **value);
    if (launch.scripted)
        env.insert(env.end(), {std::string("LD_LIBRARY_PATH=") + SCRIPTED_HID_DIR,
                               "LUMADRIFTER_TEST_HID_SCRIPT=" + launch.script,
                               "LUMADRIFTER_TEST_HID_LOG=" + dir.File("hid.log")});
    if (launch.scripted && !launch.node.empty())
        env.push_back("LUMADRIFTER_TEST_HID_NODE=" + launch.node);
    return env;
}

// As a shell runs a job: the program in a process group of its own, in the
// foreground of the terminal, with this process (the session's leader) as
// its parent, so that a stop signal stops it. This process then waits and
// exits with the program's code (128 + signal when a signal ended it).
static void RunAsJob() {
    pid_t job = fork();
    if (job == 0) {
        setpgid(0, 0);
        signal(SIGTTOU, SIG_IGN); // as a group not yet in the foreground takes it
        tcsetpgrp(0, getpid());
        signal(SIGTTOU, SIG_DFL);
        return;
    }
    int status = 0;
    waitpid(job, &status, 0);
    _exit(WIFSIGNALED(status) ? 128 + WTERMSIG(status) : WEXITSTATUS(status));
}

// A scripted run is watched until its probe has passed or failed (on a
// terminal a failed probe's message waits for Enter with the handle open);
// a run that failed only because the machine was late for the probe's
// window (tests/remote_log.h) says so and is started again, up to three
// times.
Program::Program(const Launch &launch) {
    for (int run = 1;; run++) {
        Start(launch);
        if (!launch.scripted || launch.script.empty() || run == 3)
            return;
        auto failed = [&] { return Stdout().find("Wii-Remote cannot open.") != std::string::npos; };
        WaitUntil(
            [&] {
                Drain();
                return ReadProbeOutcome(HidLog()) != ProbeOutcome::Undecided || !Running() ||
                       failed();
            },
            10000);
        // On a terminal the message waits for Enter, the remote still open:
        // answered, the program closes it and the log says all.
        if (failed() && launch.input == Launch::Terminal) {
            Type("\r");
            WaitForExit();
        }
        std::string late = LateForTheProbe(HidLog(), failed());
        if (late.empty())
            return;
        std::printf("%s; running once more\n", late.c_str());
        std::fflush(stdout);
        Reset();
    }
}

void Program::Start(const Launch &launch) {
    // Made before the fork: the child of a process with threads may not allocate.
    std::vector<std::string> env = Environment(launch, dir),
                             argv = {launch.binary ? launch.binary : LUMADRIFTER_BINARY};
    std::vector<char *> envp = Pointers(env), argvp = Pointers(argv);
    int in, out, err, unread[2] = {-1, -1}; // unread: its reading end closed at once
    if (launch.input == Launch::Terminal) {
        if (openpty(&input, &terminal, nullptr, nullptr, nullptr) != 0)
            ADD_FAILURE() << "openpty: " << std::strerror(errno);
        tcgetattr(terminal, &before);
        fcntl(input, F_SETFL, O_NONBLOCK);
        in = out = err = terminal;
    } else {
        int ends[2];
        if (pipe(ends) != 0 || (launch.outputUnread && pipe(unread) != 0))
            ADD_FAILURE() << "pipe: " << std::strerror(errno);
        close(unread[0]);
        in = ends[0];
        input = ends[1];
        out = open(dir.File("stdout").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        err = open(dir.File("stderr").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (launch.input == Launch::Closed)
            CloseInput();
    }
    pid = fork();
    if (pid == 0) {
        if (launch.input == Launch::Terminal) {
            setsid();
            ioctl(in, TIOCSCTTY, 0);
        }
        dup2(in, 0);
        dup2(launch.outputUnread ? unread[1] : out, 1);
        dup2(err, 2);
        rlimit noCore = {0, 0}; // Ctrl-\ is tried: no core files in the build
        setrlimit(RLIMIT_CORE, &noCore);
        for (int fd = 3; fd < 1024; fd++)
            close(fd);
        if (launch.jobControl)
            RunAsJob();
        execve(argvp[0], argvp.data(), envp.data());
        _exit(127);
    }
    if (launch.input != Launch::Terminal)
        for (int fd : {in, out, err})
            close(fd);
    close(unread[1]);
}

void Program::Reset() {
    if (pid > 0 && exitCode == -1)
        StopProcess(pid);
    CloseInput();
    close(std::exchange(terminal, -1));
    screen.clear();
    exitCode = -1;
}

void Program::Type(const std::string &bytes) {
    ASSERT_EQ(write(input, bytes.data(), bytes.size()), ssize_t(bytes.size()));
}

// The terminal's output is taken as it comes, so the program never blocks
// on a full terminal.
void Program::Drain() {
    char chunk[4096];
    ssize_t n;
    while (terminal != -1 && input != -1 && (n = read(input, chunk, sizeof chunk)) > 0)
        screen.append(chunk, static_cast<size_t>(n));
}

bool Program::Running() {
    int status;
    rusage usage;
    if (exitCode != -1 || wait4(pid, &status, WNOHANG, &usage) != pid)
        return exitCode == -1;
    exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    cpuSeconds = double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                 double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    return false;
}

bool Program::TypedThenRead(const std::string &key, size_t n) {
    int64_t us = MonotonicUs();
    Type(key);
    return WaitUntil([&] {
        std::vector<LogLine> reads = OfKind(HidLog(), "read");
        return size_t(std::count_if(reads.begin(), reads.end(),
                                    [&](const LogLine &l) { return l.us > us; })) >= n;
    });
}

bool Program::SleepsIn(const std::string &call) {
    std::string wchan = "/proc/" + std::to_string(pid) + "/wchan";
    return WaitUntil([&] { return ReadWholeFile(wchan).find(call) != std::string::npos; });
}

int Program::WaitForExit(Ms limit) {
    // Drained after the end too: what the program wrote last is still there.
    auto ended = [&] {
        bool ended = !Running();
        Drain();
        return ended;
    };
    if (WaitUntil(ended, int(limit.count())))
        return exitCode;
    ADD_FAILURE() << "the program did not end within " << limit.count() << " ms";
    StopProcess(pid);
    return -1;
}

bool Program::WaitForOutput(const std::string &text, Ms limit) {
    auto shown = [&] { return Drain(), Stdout().find(text) != std::string::npos; };
    WaitUntil([&] { return shown() || !Running(); }, int(limit.count()));
    return shown();
}

void ExpectLeftQuiet(const std::vector<LogLine> &log) {
    std::vector<Bytes> written = Reports(log, "write");
    ASSERT_GE(written.size(), 3u);
    EXPECT_EQ(std::vector<Bytes>(written.end() - 3, written.end()), expectedQuiet);
    EXPECT_EQ(log.back().kind, "close");
    EXPECT_EQ(OfKind(log, "close").size(), 1u);
}

static std::string ButtonNames(unsigned mask) {
    std::string names;
    for (int button = 1; button <= 5; button++)
        if (mask & (Button1Mask << (button - 1)))
            names += (names.empty() ? "" : " ") + std::to_string(button);
    return names.empty() ? "none" : names;
}

std::string TerminalEnd(const Program &p) {
    termios after{};
    if (p.terminal == -1 || tcgetattr(p.terminal, &after) != 0)
        return p.terminal == -1 ? "not a terminal" : "unreadable";
    std::ostringstream changed;
    changed << std::showbase << std::oct;
    for (auto [name, flag] : {std::pair{"iflag", &termios::c_iflag},
                              {"oflag", &termios::c_oflag},
                              {"cflag", &termios::c_cflag},
                              {"lflag", &termios::c_lflag}})
        if (after.*flag != p.before.*flag)
            changed << " " << name << " " << after.*flag << " (was " << p.before.*flag << ")";
    if (after.c_cc[VMIN] != p.before.c_cc[VMIN] || after.c_cc[VTIME] != p.before.c_cc[VTIME])
        changed << " VMIN/VTIME";
    return changed.str().empty() ? "as before" : "changed:" + changed.str();
}

void PrintWayOut(const std::string &way, Program &p, unsigned buttonsDown, Moment since) {
    std::puts(WayOutLine(way, p.Running() ? "" : std::to_string(p.exitCode),
                         ButtonNames(buttonsDown), RemoteEnd(p.HidLog(), since), TerminalEnd(p))
                  .c_str());
    std::fflush(stdout);
}

int64_t ExpectEndedBy(const std::string &way, Program &p, XServer &x, int code, const char *typed,
                      const char *sent) {
    int64_t us = MonotonicUs();
    if (typed)
        p.Type(typed);
    else
        kill(p.pid, code - 128);
    EXPECT_EQ(p.WaitForExit(), code);
    EXPECT_EQ(TerminalEnd(p), p.terminal == -1 ? "not a terminal" : "as before");
    // The server would keep a button down after its client has gone: the
    // program lets go of it on the way out.
    EXPECT_TRUE(x.ButtonsBecome(0));
    if (way.empty())
        return us;
    // The remote is left as a quit leaves it: camera and streaming off, then
    // closed, with nothing of the control loop's after.
    ExpectLeftQuiet(p.HidLog());
    PrintWayOut(way, p, x.ButtonsDown(), {typed ? "the key was typed" : sent, us});
    return us;
}

// B and A: the X server sees right pressed, then left.
const Hold holds[3] = {{"B", "04", Button1Mask, {Press(1), Release(1)}, {Press(1), Release(1)}},
                       {"A", "08", Button3Mask, {Press(3), Release(3)}, {Press(3), Release(3)}},
                       {"B and A",
                        "0c",
                        Button1Mask | Button3Mask,
                        {Press(3), Press(1), Release(3), Release(1)},
                        {Press(3), Press(1), Release(1), Release(3)}}};

std::string HoldScript(const TempDir &dir, const Hold &hold, int reports, bool gone) {
    std::string path = dir.File(std::string("hold-") + hold.name + ".script");
    std::ofstream(path) << "hold\nawait 12 00 31\nwait 50\nrelease\nawait 12 00 33\nbuttons 00 "
                        << hold.buttons2 << "\njitter " << reports - 1 << " 20\n"
                        << (gone ? "gone\n" : "");
    return path;
}
