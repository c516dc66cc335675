// The program on a pseudo-terminal: keys without echo, arrow keys that do
// not quit, Escape that does, a message that waits for Enter, and the
// terminal's settings put back on every way out.
#include "tests/e2e/harness.h"

#include <gtest/gtest.h>

#include <csignal>
#include <tuple>

namespace {

const char quitLine[] = "Home button  ... Quit";

bool KeysWithoutEcho(const Program &p) {
    termios now{};
    tcgetattr(p.terminal, &now);
    return !(now.c_lflag & ICANON) && !(now.c_lflag & ECHO) && (now.c_lflag & ISIG);
}

struct OnATerminal : testing::Test {
    XServer x;
    TempDir scripts;

    Launch With(const std::string &script) {
        return {.display = x.display, .script = script, .input = Launch::Terminal};
    }
    // Up and running on the terminal, keys without echo, the hold's buttons
    // down on the X server.
    bool Holding(Program &p, const Hold &hold) {
        return p.WaitForOutput(quitLine) && KeysWithoutEcho(p) && x.ButtonsBecome(hold.mask);
    }
};

TEST_F(OnATerminal, ArrowKeysDoNotQuitAndEscapeDoes) {
    Program p(With(ScenarioPath("escape")));
    ASSERT_TRUE(p.WaitForOutput(quitLine));
    EXPECT_TRUE(KeysWithoutEcho(p));

    // Up, F1 (both forms), Ctrl-Right, a plain key: none of them quits.
    for (const char *key : {"\x1b[A", "\x1bOP", "\x1b[11~", "\x1b[1;5C", "q"})
        EXPECT_TRUE(p.TypedThenRead(key, 3)) << "quit on " << key + 1;
    EXPECT_EQ(p.screen.find("[A"), std::string::npos) << "keys are not echoed";
    ExpectEndedBy("Escape on a terminal", p, x, 0, "\x1b");
}

// Escape and Enter typed together reach the program in one read.
TEST_F(OnATerminal, EscapeFollowedAtOnceByAnotherKeyQuits) {
    Program p(With(ScenarioPath("escape")));
    ASSERT_TRUE(p.WaitForOutput(quitLine));
    ExpectEndedBy("", p, x, 0, "\x1b\r");
}

TEST_F(OnATerminal, AMessageWaitsForEnter) {
    Program p(With(ScenarioPath("no_remote")));
    ASSERT_TRUE(p.WaitForOutput("Wii-Remote not found.\r\n"));
    EXPECT_TRUE(p.SleepsIn("poll")) << "the message is not to flash by";
    ExpectEndedBy("", p, x, 1, "\r");
}

// The Enter is typed while the control loop waits for a report, so it is
// still unread when the message comes.
TEST_F(OnATerminal, OnlyAnEnterTypedAfterTheMessageAnswersIt) {
    Program p(With(ScenarioPath("quiet_then_gone")));
    ASSERT_TRUE(p.WaitForOutput(quitLine));
    // The IR mode's first report read, the next read sleeps through the quiet
    // time: the control loop's key test has run, and will not run again
    // before the remote goes.
    ASSERT_TRUE(WaitUntil([&] { return Hex(p.HidLog().back().bytes).starts_with("33"); }));
    ASSERT_TRUE(p.SleepsIn("nanosleep"));
    p.Type("\r");
    ASSERT_TRUE(p.WaitForOutput("Wii-Remote disconnected."));
    EXPECT_TRUE(p.SleepsIn("poll")) << "an Enter typed before the message answered it";
    ExpectEndedBy("", p, x, 1, "\r");
    ExpectLeftQuiet(p.HidLog());
    PrintWayOut("the remote gone, on a terminal", p, x.ButtonsDown(), RemoteGone(p.HidLog()));
}

// Each signal, with B, A and both held: the terminal's settings, the
// buttons and a quiet remote are given back before the signal ends the
// process. A signal with a key of the terminal's own is typed, the others
// sent.
TEST_F(OnATerminal, SignalsPutTheTerminalBackAndLetGoOfEverything) {
    const std::tuple<const char *, int, const char *> cases[] = {
        {"SIGINT (Ctrl-C)", SIGINT, "\x03"},
        {"SIGQUIT (Ctrl-\\)", SIGQUIT, "\x1c"},
        {"SIGTERM (kill)", SIGTERM, nullptr},
        {"SIGHUP (hang-up)", SIGHUP, nullptr}};
    for (const auto &[how, signal, typed] : cases)
        for (const Hold &hold : holds) {
            std::string what = std::string(how) + " with " + hold.name + " held";
            SCOPED_TRACE(what);
            ASSERT_EQ(x.ButtonsDown(), 0u) << "left down by the case before";
            Program p(With(HoldScript(scripts, hold, 300)));
            ASSERT_TRUE(Holding(p, hold)) << p.screen;
            ExpectEndedBy(what + " on a terminal", p, x, 128 + signal, typed);
        }
}

TEST_F(OnATerminal, CtrlZLetsGoWhileStoppedAndTheButtonsFollowAgainAfter) {
    for (const Hold &hold : holds) {
        SCOPED_TRACE(hold.name);
        Launch launch = With(HoldScript(scripts, hold, 300));
        launch.jobControl = true;
        Program p(launch);
        std::string with = std::string(" with ") + hold.name + " held";
        ASSERT_TRUE(Holding(p, hold)) << p.screen;
        pid_t job = tcgetpgrp(p.input);
        ASSERT_GT(job, 0);

        p.Type("\x1a");
        // The state letter in /proc/<pid>/stat, after the name: 'T' once stopped.
        std::string stat = "/proc/" + std::to_string(job) + "/stat";
        ASSERT_TRUE(WaitUntil([&] {
            return ReadWholeFile(stat).find(") T ") != std::string::npos;
        })) << "Ctrl-Z stops it";
        EXPECT_TRUE(x.ButtonsBecome(0)) << "nothing held";
        EXPECT_EQ(TerminalEnd(p), "as before") << "while stopped";
        PrintWayOut("Ctrl-Z" + with + " (stopped, not an end)", p, x.ButtonsDown(), {"", -1});

        kill(-job, SIGCONT);
        EXPECT_TRUE(x.ButtonsBecome(hold.mask)) << "pressed again";
        EXPECT_TRUE(WaitUntil([&] { return KeysWithoutEcho(p); }));
        ExpectEndedBy("Ctrl-Z" + with + ", fg, then Escape", p, x, 0, "\x1b");
    }
}

} // namespace
