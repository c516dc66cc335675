// The program on a pseudo-terminal: keys without echo, arrow keys that do
// not quit, Escape that does, a message that waits for Enter, and the
// terminal's settings put back on every way out.
#include "tests/e2e/harness.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <iterator>
#include <string>
#include <termios.h>
#include <unistd.h>

namespace {

struct OnATerminal : testing::Test {
    XServer x;

    TempDir scripts;

    Launch With(const std::string &scenario) { return WithScript(ScenarioPath(scenario)); }
    Launch WithScript(const std::string &path) {
        Launch launch;
        launch.display = x.display;
        launch.script = path;
        launch.input = Launch::Terminal;
        return launch;
    }
};

void ExpectSettingsAsBefore(const Program &p) {
    termios after{};
    ASSERT_EQ(tcgetattr(p.terminal, &after), 0);
    EXPECT_EQ(after.c_lflag, p.before.c_lflag);
    EXPECT_EQ(after.c_iflag, p.before.c_iflag);
    EXPECT_EQ(after.c_oflag, p.before.c_oflag);
    EXPECT_EQ(after.c_cflag, p.before.c_cflag);
    EXPECT_EQ(after.c_cc[VMIN], p.before.c_cc[VMIN]);
    EXPECT_EQ(after.c_cc[VTIME], p.before.c_cc[VTIME]);
}

bool KeysWithoutEcho(const Program &p) {
    termios now{};
    tcgetattr(p.terminal, &now);
    return !(now.c_lflag & ICANON) && !(now.c_lflag & ECHO) && (now.c_lflag & ISIG);
}

TEST_F(OnATerminal, ArrowKeysDoNotQuitAndEscapeDoes) {
    Program p(With("escape"));
    ASSERT_TRUE(p.WaitForOutput("Home button  ... Quit"));
    EXPECT_TRUE(KeysWithoutEcho(p));

    // Up, F1 (both forms), Ctrl-Right, a plain key: none of them quits.
    for (const char *key : {"\x1b[A", "\x1bOP", "\x1b[11~", "\x1b[1;5C", "q"}) {
        int64_t typedUs = MonotonicUs();
        p.Type(key);
        EXPECT_TRUE(p.ReadsAfter(typedUs, 3)) << "quit on " << key + 1;
    }
    EXPECT_EQ(p.screen.find("[A"), std::string::npos) << "keys are not echoed";

    int64_t typedUs = MonotonicUs();
    p.Type("\x1b");
    EXPECT_EQ(p.WaitForExit(Ms(8000)), 0);
    ExpectSettingsAsBefore(p);
    ExpectLeftQuiet(p.HidLog());
    PrintWayOut("Escape on a terminal", p, x.ButtonsDown(), {"the key was typed", typedUs});
}

// Escape and Enter typed together reach the program in one read.
TEST_F(OnATerminal, EscapeFollowedAtOnceByAnotherKeyQuits) {
    Program p(With("escape"));
    ASSERT_TRUE(p.WaitForOutput("Home button  ... Quit"));
    p.Type("\x1b\r");
    EXPECT_EQ(p.WaitForExit(Ms(8000)), 0);
    ExpectSettingsAsBefore(p);
}

TEST_F(OnATerminal, AMessageWaitsForEnter) {
    Program p(With("no_remote"));
    ASSERT_TRUE(p.WaitForOutput("Wii-Remote not found.\r\n"));
    EXPECT_TRUE(p.WaitingForKeys()) << "the message is not to flash by";

    p.Type("\r");
    EXPECT_EQ(p.WaitForExit(), 1);
    ExpectSettingsAsBefore(p);
}

// The Enter is typed while the control loop waits for a report, so it is
// still unread when the message comes.
TEST_F(OnATerminal, OnlyAnEnterTypedAfterTheMessageAnswersIt) {
    Program p(With("quiet_then_gone"));
    ASSERT_TRUE(p.WaitForOutput("Home button  ... Quit"));
    usleep(500000);
    p.Type("\r");
    ASSERT_TRUE(p.WaitForOutput("Wii-Remote disconnected."));
    EXPECT_TRUE(p.WaitingForKeys()) << "an Enter typed before the message answered it";

    p.Type("\r");
    EXPECT_EQ(p.WaitForExit(), 1);
    ExpectSettingsAsBefore(p);
    std::vector<LogLine> log = p.HidLog();
    ExpectLeftQuiet(log);
    PrintWayOut("the remote gone, on a terminal", p, x.ButtonsDown(), RemoteGone(log));
}

// Each signal, with B, A and both held: the terminal's settings, the
// buttons and a quiet remote are given back before the signal ends the
// process.
TEST_F(OnATerminal, SignalsPutTheTerminalBackAndLetGoOfEverything) {
    struct Case {
        const char *how;
        int signal;
        const char *typed; // the terminal's own key for it, or nothing
    } cases[] = {{"SIGINT (Ctrl-C)", SIGINT, "\x03"},
                 {"SIGQUIT (Ctrl-\\)", SIGQUIT, "\x1c"},
                 {"SIGTERM (kill)", SIGTERM, nullptr},
                 {"SIGHUP (hang-up)", SIGHUP, nullptr}};
    for (const Case &c : cases) {
        for (const Hold &hold : holds) {
            std::string what = std::string(c.how) + " with " + hold.name + " held";
            ASSERT_EQ(x.ButtonsDown(), 0u) << "left down by the case before " << what;
            Program p(WithScript(HoldScript(scripts, hold, 300)));
            ASSERT_TRUE(p.WaitForOutput("Home button  ... Quit")) << what;
            ASSERT_TRUE(KeysWithoutEcho(p));
            ASSERT_TRUE(WaitUntil([&] { return x.ButtonsDown() == ButtonMask(hold); })) << what;

            int64_t sentUs = MonotonicUs();
            if (c.typed)
                p.Type(c.typed);
            else
                kill(p.pid, c.signal);
            EXPECT_EQ(p.WaitForExit(), 128 + c.signal) << what;
            ExpectSettingsAsBefore(p);
            EXPECT_TRUE(WaitUntil([&] { return x.ButtonsDown() == 0; })) << what;
            ExpectLeftQuiet(p.HidLog());
            PrintWayOut(what + " on a terminal", p, x.ButtonsDown(),
                        {c.typed ? "the key was typed" : "the signal was sent", sentUs});
        }
    }
}

// The state letter in /proc/<pid>/stat: 'T' once stopped.
char ProcessState(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    size_t end = text.rfind(')');
    return end == std::string::npos || end + 2 >= text.size() ? '?' : text[end + 2];
}

TEST_F(OnATerminal, CtrlZLetsGoWhileStoppedAndTheButtonsFollowAgainAfter) {
    for (const Hold &hold : holds) {
        Launch launch = WithScript(HoldScript(scripts, hold, 300));
        launch.jobControl = true;
        Program p(launch);
        std::string with = std::string(" with ") + hold.name + " held";
        ASSERT_TRUE(p.WaitForOutput("Home button  ... Quit"));
        unsigned held = ButtonMask(hold);
        ASSERT_TRUE(WaitUntil([&] { return x.ButtonsDown() == held; })) << hold.name;
        pid_t job = tcgetpgrp(p.input);
        ASSERT_GT(job, 0);

        p.Type("\x1a");
        ASSERT_TRUE(WaitUntil([&] { return ProcessState(job) == 'T'; })) << "Ctrl-Z stops it";
        EXPECT_TRUE(WaitUntil([&] { return x.ButtonsDown() == 0; })) << "nothing held" << with;
        ExpectSettingsAsBefore(p);
        PrintWayOut("Ctrl-Z" + with + " (stopped, not an end)", p, x.ButtonsDown(), {"", -1});

        kill(-job, SIGCONT);
        EXPECT_TRUE(WaitUntil([&] { return x.ButtonsDown() == held; })) << "pressed again" << with;
        EXPECT_TRUE(WaitUntil([&] { return KeysWithoutEcho(p); }));
        int64_t typedUs = MonotonicUs();
        p.Type("\x1b");
        EXPECT_EQ(p.WaitForExit(), 0);
        EXPECT_EQ(x.ButtonsDown(), 0u);
        ExpectSettingsAsBefore(p);
        ExpectLeftQuiet(p.HidLog());
        PrintWayOut("Ctrl-Z" + with + ", fg, then Escape", p, x.ButtonsDown(),
                    {"the key was typed", typedUs});
    }
}

} // namespace
