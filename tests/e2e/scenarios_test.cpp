// The built program on a real X server, with the scripted remote of each
// scenario in tests/scenarios swapped in for the HID library.
#include "platform/linux_screen_area.h"
#include "tests/e2e/harness.h"
#include "tests/expected_banner.h"
#include "tests/expected_reports.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <future>
#include <sys/socket.h>
#include <sys/un.h>

namespace {

// Where the camera set-up's acknowledgements put the cursor: they reach the
// control loop before any IR report, their dots read (0, 0) and count as
// seen, and the target (2048, -1024) is clamped to the top right corner of
// the test server's 1280x1024 screen.
const std::pair<int, int> corner = {1279, 0};
const std::string banner = expectedBanner;
const std::string notFound = std::string("Wii-Remote not found.\n") + expectedNoRemoteAdvice;
const bool uinput = access("/dev/uinput", W_OK) == 0; // the mouse can be made here

// Each of parts is in text.
void ExpectSays(const std::string &text, std::initializer_list<std::string> parts) {
    for (const std::string &part : parts)
        EXPECT_NE(text.find(part), std::string::npos) << part << " in:\n" << text;
}

// Each test has its own X server, a recorder on it, and the cursor at a
// known place before the program starts.
struct Scenario : testing::Test {
    XServer x;
    std::optional<XRecorder> record;
    TempDir scripts;
    std::optional<Program> run;

    void SetUp() override {
        ASSERT_NE(x.control, nullptr);
        x.Warp(300, 400);
        record.emplace(x);
    }
    Launch With(const std::string &scenario) { return WithScript(ScenarioPath(scenario)); }
    Launch WithScript(const std::string &path) { return {.display = x.display, .script = path}; }
    // The program run to its end: its exit code, and what it wrote where an
    // expectation is given.
    Program &Ran(const Launch &launch, int code, std::optional<std::string> out = {},
                 std::optional<std::string> err = {}) {
        run.emplace(launch);
        EXPECT_EQ(run->WaitForExit(), code);
        for (auto [expected, written] : {std::pair{out, run->Stdout()}, {err, run->Stderr()}})
            if (expected) {
                EXPECT_EQ(written, *expected);
            }
        return *run;
    }
};

TEST_F(Scenario, NoRemoteSaysSoAndEndsWithOne) {
    std::vector<LogLine> log = Ran(With("no_remote"), 1, "", notFound).HidLog();
    ASSERT_EQ(log.size(), 1u) << "an open, and no close";
    EXPECT_EQ(log[0].kind, "open");
    EXPECT_EQ(log[0].bytes, (Bytes{0x05, 0x7E, 0x03, 0x06}));
}

TEST_F(Scenario, ASilentRemoteCannotBeOpened) {
    // No banner.
    std::vector<LogLine> log = Ran(With("silent"), 0, "", "Wii-Remote cannot open.\n").HidLog();
    ASSERT_EQ(Reports(log, "write"), (std::vector<Bytes>{{0x12, 0x00, 0x31}}));
    EXPECT_EQ(log.back().kind, "close");
    EXPECT_TRUE(record->Buttons().empty());
}

TEST_F(Scenario, HomeEndsAWholeRun) {
    Program &p = Ran(With("home"), 0, banner + "IR-Track NG\n", "");
    std::vector<LogLine> log = p.HidLog();
    EXPECT_EQ(Meaningful(Reports(log, "write")), Joined(ExpectedStartUp(), expectedQuiet));
    for (const LogLine &w : OfKind(log, "write"))
        EXPECT_EQ(w.length, w.bytes[0] == 0x16 ? 22 : w.bytes[0] == 0x12 ? 3 : 2);
    EXPECT_EQ(log.front().kind, "open");
    EXPECT_EQ(log.back().kind, "close");
    // The probe's answer, the six acknowledgements, the IR mode's first
    // report, Home.
    EXPECT_EQ(OfKind(log, "read").size(), 9u);
    EXPECT_TRUE(record->Buttons().empty());
    PrintWayOut("Home", p, x.ButtonsDown(), HomeRead(log));
}

TEST_F(Scenario, TheCursorFollowsTheLights) {
    Ran(With("ir_trace"), 0, banner + "IR-Track NG\nIR-Track Ok\n");
    // From the corner a sixth of the way a report (positions that stay
    // clamped to the corner move nothing), then turned, then found again.
    using P = std::pair<int, int>;
    EXPECT_EQ(record->Positions(),
              (std::vector<P>{P(1279, 0), P(1239, 0), P(1113, 0), P(1008, 0), P(921, 0), P(848, 0),
                              P(788, 0), P(738, 9), P(746, 41), P(753, 68), P(758, 91), P(763, 110),
                              P(767, 126), P(770, 139)}));
    EXPECT_EQ(x.Cursor(), P(770, 139));
}

TEST_F(Scenario, ButtonsClickAndTheWheelTurnsInWholeClicks) {
    std::vector<LogLine> log = Ran(With("clicks_wheel"), 0).HidLog();
    // One x3 (+64 each): clicks at once, then every other; Two x2 (-64):
    // the carry starts over, one click; Plus (-64) adds to it, one click;
    // Minus (+64) turns back, one click.
    EXPECT_EQ(record->Buttons(),
              (std::vector<XAction>{Press(1), Release(1), Press(3), Release(3), Press(4),
                                    Release(4), Press(4), Release(4), Press(5), Release(5),
                                    Press(5), Release(5), Press(4), Release(4)}));

    // Each of Plus and Minus buzzes the remote once, for 80 ms.
    std::vector<LogLine> rumble;
    for (const LogLine &w : OfKind(log, "write"))
        if (w.bytes[0] == 0x13 && (w.bytes[1] == 0x05 || !rumble.empty()))
            rumble.push_back(w);
    ASSERT_GE(rumble.size(), 4u);
    for (int i : {0, 2}) {
        EXPECT_EQ(rumble[i].bytes[1], 0x05);
        EXPECT_EQ(rumble[i + 1].bytes[1], 0x04);
        EXPECT_GE(rumble[i + 1].us - rumble[i].us, 80000);
    }
    EXPECT_EQ(x.Cursor(), corner) << "nothing but the acknowledgements moved it";
}

TEST_F(Scenario, TheDpadMovesTheCursorWithAcceleration) {
    Ran(With("dpad"), 0);
    EXPECT_EQ(x.Cursor(), std::pair(corner.first - 169, corner.second + 6));
    std::vector<std::pair<int, int>> at = record->Positions();
    ASSERT_FALSE(at.empty());
    EXPECT_EQ(at.front(), corner);
    for (size_t i = 1; i < at.size(); i++) {
        EXPECT_LE(std::abs(at[i].first - at[i - 1].first), 14);
        EXPECT_LE(std::abs(at[i].second - at[i - 1].second), 14);
    }
}

// The program remembers where its last placement put the cursor, for the
// read that follows at once; a pass that comes later reads the cursor
// again, and so starts from where the user's own mouse left it. Four passes
// put it 3 left of the corner, and the fifth comes half a second later.
TEST_F(Scenario, TheDpadStartsFromWhereTheMouseLeftTheCursor) {
    Program p(With("moved"));
    ASSERT_TRUE(WaitUntil([&] { return x.Cursor() == std::pair(corner.first - 3, corner.second); },
                          20000, 5))
        << "after four passes, at " << testing::PrintToString(x.Cursor());
    x.Warp(100, 100);
    EXPECT_EQ(p.WaitForExit(), 0);
    EXPECT_EQ(x.Cursor(), std::pair(97, 100));
}

TEST_F(Scenario, EscapeFromAPipeEndsTheRun) {
    Program p(With("escape"));
    ASSERT_TRUE(p.WaitForOutput(banner));
    EXPECT_TRUE(p.TypedThenRead("q", 2)) << "another key changes nothing";
    ExpectEndedBy("Escape from a pipe", p, x, 0, "\x1b");
    EXPECT_LT(OfKind(p.HidLog(), "read").size(), 400u) << "ended by the key, not by the script";
}

TEST_F(Scenario, ARemoteThatGoesAwayEndsTheRunWithNothingHeld) {
    for (const Hold &hold : holds) {
        SCOPED_TRACE(hold.name);
        record.emplace(x);
        Program &p = Ran(WithScript(HoldScript(scripts, hold, 3, true)), 1, std::nullopt,
                         "Wii-Remote disconnected.\n");
        EXPECT_EQ(record->Buttons(), hold.byLoop);
        EXPECT_EQ(x.ButtonsDown(), 0u);
        ExpectLeftQuiet(p.HidLog());
        PrintWayOut(std::string("the remote gone with ") + hold.name + " held", p, x.ButtonsDown(),
                    RemoteGone(p.HidLog()));
    }
}

TEST_F(Scenario, EndedByASignalWithButtonsHeldLeavesNothingPressed) {
    for (const Hold &hold : holds) {
        SCOPED_TRACE(hold.name);
        record.emplace(x);
        Program p(WithScript(HoldScript(scripts, hold, 300)));
        ASSERT_TRUE(p.WaitForOutput(banner));
        ASSERT_TRUE(x.ButtonsBecome(hold.mask)) << "held";
        ExpectEndedBy(std::string("SIGTERM with ") + hold.name + " held", p, x, 128 + SIGTERM);
        EXPECT_EQ(record->Buttons(), hold.bySignal);
    }
}

// The X server goes away under the program while B and A hold both buttons:
// the remote is left as every other end leaves it, and the program says why.
TEST_F(Scenario, TheXServerGoneWithBAndAHeldLeavesTheRemoteQuiet) {
    Program p(With("interrupt"));
    ASSERT_TRUE(p.WaitForOutput(banner));
    ASSERT_TRUE(x.ButtonsBecome(holds[2].mask));

    record.reset(); // its connections go before the server
    int64_t endedUs = MonotonicUs();
    x.Stop();
    EXPECT_EQ(p.WaitForExit(), 1);
    EXPECT_EQ(p.Stderr(), "lumadrifter: lost the connection to the X display.\n");
    ExpectLeftQuiet(p.HidLog());
    // No server is left to hold a button.
    PrintWayOut("the X server gone with B and A held", p, 0, {"the X server was ended", endedUs});
}

// Standard output's reader has gone (`lumadrifter | head -3`): the writes
// fail and the program goes on, B follows the remote, and a signal still
// ends the run with nothing held.
TEST_F(Scenario, OutputWithNoReaderEndsNothing) {
    Launch launch = With("hold_b");
    launch.outputUnread = true;
    Program p(launch);
    ASSERT_TRUE(x.ButtonsBecome(holds[0].mask)) << "past the banner, B holds the left button";
    EXPECT_TRUE(p.Running());
    ExpectEndedBy("SIGPIPE (output unread), then SIGTERM with B held", p, x, 128 + SIGTERM, nullptr,
                  "the SIGTERM was sent");
}

TEST_F(Scenario, EndedByASignalInsideTheBuzzStopsTheMotor) {
    Program p(With("hold_plus"));
    int64_t buzzUs = -1;
    ASSERT_TRUE(WaitUntil(
        [&] {
            for (const LogLine &line : OfKind(p.HidLog(), "write"))
                if (buzzUs < 0 && Hex(line.bytes).starts_with("13 05"))
                    buzzUs = line.us;
            return buzzUs >= 0;
        },
        20000, 1))
        << "Plus starts a buzz";
    int64_t killUs = ExpectEndedBy("SIGTERM inside a buzz", p, x, 128 + SIGTERM);

    std::vector<Bytes> written = Reports(p.HidLog(), "write");
    auto at = std::find(written.begin(), written.end(), Bytes{0x13, 0x05});
    ASSERT_NE(at, written.end());
    // Sent well inside the 80 ms, the signal comes before the buzz's own end:
    // the quiet state is what turns the motor off.
    if (killUs < buzzUs + 40000) {
        EXPECT_EQ(std::vector<Bytes>(at + 1, written.end()), expectedQuiet);
    }
}

// The remote stays silent after a status report until a mode is selected:
// the run ends only if the program answers it, whichever of its threads
// reads it (the control loop, or the probe's reader in its last read).
TEST_F(Scenario, AStatusReportSelectsTheReportingModeAgain) {
    for (const char *scenario : {"status", "status_after_setup"}) {
        SCOPED_TRACE(scenario);
        EXPECT_EQ(Meaningful(Reports(Ran(With(scenario), 0).HidLog(), "write")),
                  Joined(Joined(ExpectedStartUp(), {{0x12, 0x00, 0x33}}), expectedQuiet));
    }
}

// With stdin at its end no key can come: the program goes on, without
// spinning on the closed input.
TEST_F(Scenario, AClosedStdinIsNoKeyAndNoBusyLoop) {
    Launch launch = With("still");
    launch.input = Launch::Closed;
    // The run lasts 2 s or more; the program's own busy waits (the probe
    // window and the camera set-up) take under 0.2 s of it.
    EXPECT_LT(Ran(launch, 0, banner + "IR-Track NG\n").cpuSeconds, 1.0);
}

// One remote, two programs: the second names the first's process and ends
// without a word to the remote; once the first has ended, the remote is free.
TEST_F(Scenario, ASecondProgramLeavesARemoteInUseAlone) {
    Launch first = With("escape"), second = With("home");
    first.node = second.node = scripts.File("hidraw0");
    Program a(first);
    ASSERT_TRUE(a.WaitForOutput(banner));

    std::string inUse = "tiny_hid_dll: " + first.node + ": the remote is in use by process " +
                        std::to_string(a.pid) + ".\n";
    std::vector<LogLine> log = Ran(second, 1, "", inUse + notFound).HidLog();
    ASSERT_EQ(log.size(), 1u) << "an open that found nothing, and no write";
    EXPECT_EQ(log[0].kind, "open");
    EXPECT_EQ(log[0].length, -1);

    EXPECT_TRUE(a.Running());
    a.Type("\x1b");
    EXPECT_EQ(a.WaitForExit(Ms(8000)), 0);
    Ran(second, 0, std::nullopt, "");
}

TEST_F(Scenario, TheRealLibraryFindsNoRemoteHere) {
    if (access("/dev/hidraw0", F_OK) == 0)
        GTEST_SKIP() << "this machine has HID devices; a remote may be among them";
    Launch launch = With("no_remote");
    launch.scripted = false;
    EXPECT_FALSE(Ran(launch, 1, std::nullopt, notFound).HidLogExists());
}

TEST_F(Scenario, WaylandTakesTheMouseAwayFromX11) {
    if (uinput)
        GTEST_SKIP() << "/dev/uinput can be used here";
    Launch launch = With("home");
    launch.wayland = "wayland-0";
    ExpectSays(Ran(launch, 1).Stderr(), {"WAYLAND_DISPLAY is set", "/dev/uinput"});
    EXPECT_FALSE(run->HidLogExists()) << "the remote is not opened";
}

TEST(NoMouseOutput, SaysWhatWasTriedAndEndsBeforeTheRemoteIsOpened) {
    if (uinput)
        GTEST_SKIP() << "/dev/uinput can be used here";
    const std::pair<std::optional<std::string>, const char *> cases[] = {
        {std::nullopt, "DISPLAY is not set"}, {":4095", "cannot open display \":4095\""}};
    for (const auto &[display, said] : cases) {
        Program p({.display = display, .script = ScenarioPath("home")});
        EXPECT_EQ(p.WaitForExit(), 1);
        ExpectSays(p.Stderr(), {said, "cannot open /dev/uinput", "udev rule"});
        EXPECT_EQ(p.Stdout(), "");
        EXPECT_FALSE(p.HidLogExists()) << "the remote is not opened";
    }
}

// The outputs' box ReadWaylandLayout reads as {x, y, width, height}, empty
// when it reads none (why says why), with the environment's variable name
// set to value for the call and WAYLAND_DISPLAY otherwise unset; both unset
// after (the programs the tests start are given their own).
std::vector<int> LayoutWith(const char *name, const std::string &value,
                            const char **why = nullptr) {
    unsetenv("WAYLAND_DISPLAY");
    setenv(name, value.c_str(), 1);
    OutputArea box = {};
    bool read = ReadWaylandLayout(&box, why);
    unsetenv(name);
    return read ? std::vector<int>{box.x, box.y, box.width, box.height} : std::vector<int>{};
}

// As sudo leaves a desktop session: DISPLAY names its XWayland, and
// WAYLAND_DISPLAY and XDG_RUNTIME_DIR are gone. XTest there would reach X
// programs only; the program says why it leaves X11.
TEST(WaylandDesktop, XWaylandIsLeftForUinput) {
    WaylandSession session(1, "output HEADLESS-1 mode 640x480");
    if (session.socket.empty())
        return; // skipped, or failed saying why
    ASSERT_TRUE(session.StartXWayland());
    Program p({.display = session.display, .script = ScenarioPath("home")});

    EXPECT_EQ(p.WaitForExit(), uinput ? 0 : 1);
    std::string why = "display \"" + session.display + "\" is XWayland, in a Wayland session";
    ExpectSays(p.Stderr(), {uinput ? "lumadrifter: not using X11: " + why : "  X11: " + why});
    if (!uinput)
        ExpectSays(p.Stderr(), {"cannot open /dev/uinput"});
}

// Two outputs, one scaled and placed up and to the left: the box of their
// logical areas, its corner at negative coordinates.
TEST(WaylandDesktop, LayoutIsTheOutputsBoxInLogicalPixels) {
    WaylandSession session(2, "output HEADLESS-1 mode 800x600 position 0 0\n"
                              "output HEADLESS-2 mode 640x480 position -320 -100 scale 2");
    if (session.socket.empty())
        return; // skipped, or failed saying why
    const std::vector<int> expected = {-320, -100, 1120, 700};
    EXPECT_EQ(LayoutWith("WAYLAND_DISPLAY", session.socket), expected);
    // Without WAYLAND_DISPLAY the runtime folder's socket is found (sway's
    // is wayland-1).
    EXPECT_EQ(LayoutWith("XDG_RUNTIME_DIR", session.dir.path), expected);
}

// The layout as it changes while the connection is listened to: a
// compositor stopped at start, its answer late (heard as a change); then an
// output added, moved left over the first, scaled; each heard as its box.
TEST(WaylandDesktop, LayoutChangesAreHeardAsTheyCome) {
    WaylandSession session(1, "output HEADLESS-1 mode 800x600 position 0 0");
    if (session.socket.empty())
        return; // skipped, or failed saying why
    const char *why = nullptr;
    kill(session.sway, SIGSTOP);
    std::vector<int> read = LayoutWith("WAYLAND_DISPLAY", session.socket, &why);
    kill(session.sway, SIGCONT);
    ASSERT_EQ(read, std::vector<int>{}) << "no layout";
    EXPECT_STREQ(why, "no answer within 1 s");
    OutputArea box;

    // What is asked of sway, and the box then heard.
    const std::pair<std::vector<std::string>, std::vector<int>> changes[] = {
        {{"-t", "get_version"}, {0, 0, 800, 600}},     // the late answer; no change asked for
        {{"create_output"}, {0, 0, 800 + 1920, 1080}}, // headless: 1920 x 1080, at the right
        {{"--", "output", "HEADLESS-2", "position", "-960", "0"}, {-960, 0, 1920, 1080}},
        {{"output", "HEADLESS-2", "scale", "2"}, {-960, 0, 960 + 800, 600}}, // 960 x 540 now
    };
    for (const auto &[msg, expected] : changes) {
        SCOPED_TRACE(msg.back());
        ASSERT_TRUE(session.Msg(msg));
        // The boxes heard until this one; the guard stops the listening if
        // it never comes.
        std::vector<int> heard;
        auto next = std::async(std::launch::async, [&] {
            while (heard != expected && NextWaylandLayout(&box))
                heard = {box.x, box.y, box.width, box.height};
        });
        if (next.wait_for(std::chrono::seconds(30)) != std::future_status::ready)
            StopWaylandLayout();
        next.get();
        ASSERT_EQ(heard, expected);
    }
    StopWaylandLayout();
    EXPECT_FALSE(NextWaylandLayout(&box));
}

// A compositor that never answers (a socket no one accepts from): the
// program waits its second, says what it took instead, and goes on.
TEST(WaylandDesktop, SilentCompositorIsToldAndTheFirstModeTaken) {
    TempDir runtime;
    sockaddr_un address = {AF_UNIX, {}};
    runtime.File("wayland-0").copy(address.sun_path, sizeof address.sun_path - 1);
    int silent = socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_EQ(bind(silent, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
    ASSERT_EQ(listen(silent, 4), 0);
    Program p({.wayland = "wayland-0", .runtime = runtime.path, .script = ScenarioPath("home")});

    EXPECT_EQ(p.WaitForExit(), uinput ? 0 : 1);
    close(silent);
    // What is said of the mouse's size: once, or with no mouse not at all.
    std::string err = p.Stderr(), said;
    if (uinput) {
        int w, h;
        bool mode = ReadScreenSize("/sys/class/drm", &w, &h);
        said = "lumadrifter: the compositor did not describe its screens (no answer within 1 s); "
               "the mouse covers " +
               std::to_string(w) + "x" + std::to_string(h) + ", " +
               (mode ? "the first display's mode" : "as no display's mode could be read") + ".\n";
    } else {
        ExpectSays(err, {"cannot open /dev/uinput"});
    }
    EXPECT_EQ(err.substr(0, said.size()), said) << err;
    EXPECT_EQ(err.find("did not describe", said.size()), std::string::npos) << err;
}

} // namespace
