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
#include <unistd.h>

namespace {

// Where the camera set-up's acknowledgements put the cursor: they reach the
// control loop before any IR report, their dots read (0, 0) and count as
// seen, and the target (2048, -1024) is clamped to the top right corner of
// the test server's 1280x1024 screen.
const std::pair<int, int> corner = {1279, 0};

// Each test has its own X server, a recorder on it, and the cursor at a
// known place before the program starts.
struct Scenario : testing::Test {
    XServer x;
    std::optional<XRecorder> record;

    void SetUp() override {
        ASSERT_NE(x.control, nullptr);
        x.Warp(300, 400);
        record.emplace(x);
    }
    Launch With(const std::string &scenario) { return WithScript(ScenarioPath(scenario)); }
    Launch WithScript(const std::string &path) {
        Launch launch;
        launch.display = x.display;
        launch.script = path;
        return launch;
    }
};

TEST_F(Scenario, NoRemoteSaysSoAndEndsWithOne) {
    Program p(With("no_remote"));

    EXPECT_EQ(p.WaitForExit(), 1);
    EXPECT_EQ(p.Stderr(), std::string("Wii-Remote not found.\n") + expectedNoRemoteAdvice);
    EXPECT_EQ(p.Stdout(), "");
    std::vector<LogLine> log = p.HidLog();
    ASSERT_EQ(log.size(), 1u) << "an open, and no close";
    EXPECT_EQ(log[0].kind, "open");
    EXPECT_EQ(log[0].bytes, (Bytes{0x05, 0x7E, 0x03, 0x06}));
}

TEST_F(Scenario, ASilentRemoteCannotBeOpened) {
    Program p(With("silent"));

    EXPECT_EQ(p.WaitForExit(), 0);
    EXPECT_EQ(p.Stderr(), "Wii-Remote cannot open.\n");
    EXPECT_EQ(p.Stdout(), "") << "no banner";
    std::vector<LogLine> log = p.HidLog();
    EXPECT_EQ(WrittenReports(log), (std::vector<Bytes>{{0x12, 0x00, 0x31}}));
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back().kind, "close");
    EXPECT_TRUE(record->Buttons().empty());
}

TEST_F(Scenario, HomeEndsAWholeRun) {
    Program p(With("home"));

    EXPECT_EQ(p.WaitForExit(), 0);
    EXPECT_EQ(p.Stdout(), Banner() + "IR-Track NG\n");
    EXPECT_EQ(p.Stderr(), "");
    std::vector<LogLine> log = p.HidLog();
    EXPECT_EQ(Meaningful(WrittenReports(log)), Joined(ExpectedStartUp(), expectedQuiet));
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
    Program p(With("ir_trace"));

    EXPECT_EQ(p.WaitForExit(), 0);
    EXPECT_EQ(p.Stdout(), Banner() + "IR-Track NG\nIR-Track Ok\n");
    using P = std::pair<int, int>;
    // From the corner a sixth of the way a report (positions that stay
    // clamped to the corner move nothing), then turned, then found again.
    EXPECT_EQ(record->Positions(), (std::vector<P>{corner,
                                                   {1239, 0},
                                                   {1113, 0},
                                                   {1008, 0},
                                                   {921, 0},
                                                   {848, 0},
                                                   {788, 0},
                                                   {738, 9},
                                                   {746, 41},
                                                   {753, 68},
                                                   {758, 91},
                                                   {763, 110},
                                                   {767, 126},
                                                   {770, 139}}));
    int cx, cy;
    x.Cursor(&cx, &cy);
    EXPECT_EQ(P(cx, cy), P(770, 139));
}

TEST_F(Scenario, ButtonsClickAndTheWheelTurnsInWholeClicks) {
    Program p(With("clicks_wheel"));

    EXPECT_EQ(p.WaitForExit(), 0);
    // One x3 (+64 each): clicks at once, then every other; Two x2 (-64):
    // the carry starts over, one click; Plus (-64) adds to it, one click;
    // Minus (+64) turns back, one click.
    EXPECT_EQ(record->Buttons(),
              (std::vector<XAction>{Press(1), Release(1), Press(3), Release(3), Press(4),
                                    Release(4), Press(4), Release(4), Press(5), Release(5),
                                    Press(5), Release(5), Press(4), Release(4)}));

    // Each of Plus and Minus buzzes the remote once, for 80 ms.
    std::vector<LogLine> rumble;
    for (const LogLine &w : OfKind(p.HidLog(), "write"))
        if (w.bytes[0] == 0x13 && (w.bytes[1] == 0x05 || !rumble.empty()))
            rumble.push_back(w);
    ASSERT_GE(rumble.size(), 4u);
    for (int i : {0, 2}) {
        EXPECT_EQ(rumble[i].bytes[1], 0x05);
        EXPECT_EQ(rumble[i + 1].bytes[1], 0x04);
        EXPECT_GE(rumble[i + 1].us - rumble[i].us, 80000);
    }
    int cx, cy;
    x.Cursor(&cx, &cy);
    EXPECT_EQ(std::make_pair(cx, cy), corner) << "nothing but the acknowledgements moved it";
}

TEST_F(Scenario, TheDpadMovesTheCursorWithAcceleration) {
    Program p(With("dpad"));

    EXPECT_EQ(p.WaitForExit(), 0);
    int cx, cy;
    x.Cursor(&cx, &cy);
    EXPECT_EQ(std::make_pair(cx, cy), std::make_pair(corner.first - 169, corner.second + 6));
    std::vector<std::pair<int, int>> positions = record->Positions();
    ASSERT_FALSE(positions.empty());
    EXPECT_EQ(positions.front(), corner);
    std::pair<int, int> last = corner;
    for (auto at : positions) {
        EXPECT_LE(std::abs(at.first - last.first), 14);
        EXPECT_LE(std::abs(at.second - last.second), 14);
        last = at;
    }
}

// The program remembers where its last placement put the cursor, for the
// read that follows at once; a pass that comes later reads the cursor
// again, and so starts from where the user's own mouse left it.
TEST_F(Scenario, TheDpadStartsFromWhereTheMouseLeftTheCursor) {
    Program p(With("moved"));

    int cx = 0, cy = 0;
    const std::pair<int, int> fourPasses = {corner.first - 3, corner.second};
    for (int i = 0; i < 400 && std::make_pair(cx, cy) != fourPasses; i++) {
        usleep(5000);
        x.Cursor(&cx, &cy);
    }
    ASSERT_EQ(std::make_pair(cx, cy), fourPasses);
    x.Warp(100, 100);
    EXPECT_EQ(p.WaitForExit(), 0);
    x.Cursor(&cx, &cy);
    EXPECT_EQ(std::make_pair(cx, cy), std::make_pair(97, 100));
}

TEST_F(Scenario, EscapeFromAPipeEndsTheRun) {
    Program p(With("escape"));

    ASSERT_TRUE(p.WaitForOutput(Banner()));
    int64_t typedUs = MonotonicUs();
    p.Type("q");
    EXPECT_TRUE(p.ReadsAfter(typedUs, 2)) << "another key changes nothing";
    typedUs = MonotonicUs();
    p.Type("\x1b");
    EXPECT_EQ(p.WaitForExit(Ms(8000)), 0);

    std::vector<LogLine> log = p.HidLog();
    ExpectLeftQuiet(log);
    EXPECT_LT(OfKind(log, "read").size(), 400u) << "ended by the key, not by the script";
    PrintWayOut("Escape from a pipe", p, x.ButtonsDown(), {"the key was typed", typedUs});
}

TEST_F(Scenario, ARemoteThatGoesAwayEndsTheRunWithNothingHeld) {
    TempDir scripts;
    for (const Hold &hold : holds) {
        record.emplace(x);
        Program p(WithScript(HoldScript(scripts, hold, 3, true)));

        EXPECT_EQ(p.WaitForExit(), 1) << hold.name;
        EXPECT_EQ(p.Stderr(), "Wii-Remote disconnected.\n");
        EXPECT_EQ(record->Buttons(), PressedThenReleased(hold, false)) << hold.name;
        EXPECT_EQ(x.ButtonsDown(), 0u) << hold.name;
        std::vector<LogLine> log = p.HidLog();
        ExpectLeftQuiet(log);
        PrintWayOut(std::string("the remote gone with ") + hold.name + " held", p, x.ButtonsDown(),
                    RemoteGone(log));
    }
}

TEST_F(Scenario, EndedByASignalWithButtonsHeldLeavesNothingPressed) {
    TempDir scripts;
    for (const Hold &hold : holds) {
        record.emplace(x);
        Program p(WithScript(HoldScript(scripts, hold, 300)));
        ASSERT_TRUE(p.WaitForOutput(Banner()));
        ASSERT_TRUE(WaitUntil([&] { return x.ButtonsDown() == ButtonMask(hold); }))
            << hold.name << " held";

        int64_t sentUs = MonotonicUs();
        kill(p.pid, SIGTERM);
        EXPECT_EQ(p.WaitForExit(), 128 + SIGTERM);
        // The server would keep a button down after its client has gone:
        // the program lets go of it on the way out.
        EXPECT_TRUE(WaitUntil([&] { return x.ButtonsDown() == 0; })) << hold.name;
        EXPECT_EQ(record->Buttons(), PressedThenReleased(hold, true)) << hold.name;
        // The remote is left as a quit leaves it: camera and streaming off,
        // then closed, with nothing of the control loop's after.
        ExpectLeftQuiet(p.HidLog());
        PrintWayOut(std::string("SIGTERM with ") + hold.name + " held", p, x.ButtonsDown(),
                    {"the signal was sent", sentUs});
    }
}

// The X server goes away under the program while B and A hold both buttons:
// the remote is left as every other end leaves it, and the program says why.
TEST_F(Scenario, TheXServerGoneWithBAndAHeldLeavesTheRemoteQuiet) {
    Program p(With("interrupt"));
    ASSERT_TRUE(p.WaitForOutput(Banner()));
    const unsigned leftAndRight = 1u << 8 | 1u << 10; // Button1Mask | Button3Mask
    ASSERT_TRUE(WaitUntil([&] { return x.ButtonsDown() == leftAndRight; }));

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
    ASSERT_TRUE(WaitUntil([&] { return x.ButtonsDown() != 0; }))
        << "past the banner, B holds the left button";
    EXPECT_TRUE(p.Running());

    int64_t sentUs = MonotonicUs();
    kill(p.pid, SIGTERM);
    EXPECT_EQ(p.WaitForExit(), 128 + SIGTERM);
    EXPECT_TRUE(WaitUntil([&] { return x.ButtonsDown() == 0; }));
    ExpectLeftQuiet(p.HidLog());
    PrintWayOut("SIGPIPE (output unread), then SIGTERM with B held", p, x.ButtonsDown(),
                {"the SIGTERM was sent", sentUs});
}

TEST_F(Scenario, EndedByASignalInsideTheBuzzStopsTheMotor) {
    Program p(With("hold_plus"));
    const Bytes buzz = {0x13, 0x05};
    int64_t buzzUs = -1;
    ASSERT_TRUE(WaitUntil(
        [&] {
            for (const LogLine &line : OfKind(p.HidLog(), "write"))
                if (buzzUs < 0 && line.bytes.size() >= 2 && line.bytes[0] == 0x13 &&
                    line.bytes[1] == 0x05)
                    buzzUs = line.us;
            return buzzUs >= 0;
        },
        20000, 1))
        << "Plus starts a buzz";
    int64_t killUs = MonotonicUs();
    kill(p.pid, SIGTERM);
    EXPECT_EQ(p.WaitForExit(), 128 + SIGTERM);

    std::vector<LogLine> log = p.HidLog();
    ExpectLeftQuiet(log);
    std::vector<Bytes> written = WrittenReports(log);
    auto at = std::find(written.begin(), written.end(), buzz);
    ASSERT_NE(at, written.end());
    // Sent well inside the 80 ms, the signal comes before the buzz's own end:
    // the quiet state is what turns the motor off.
    if (killUs < buzzUs + 40000) {
        EXPECT_EQ(std::vector<Bytes>(at + 1, written.end()), expectedQuiet);
    }
    PrintWayOut("SIGTERM inside a buzz", p, x.ButtonsDown(), {"the signal was sent", killUs});
}

// The remote stays silent after a status report until a mode is selected:
// the run ends only if the program answers it, whichever of its threads
// reads it (the control loop, or the probe's reader in its last read).
TEST_F(Scenario, AStatusReportSelectsTheReportingModeAgain) {
    for (const char *scenario : {"status", "status_after_setup"}) {
        Program p(With(scenario));

        EXPECT_EQ(p.WaitForExit(), 0) << scenario;
        std::vector<Bytes> written = WrittenReports(p.HidLog());
        std::vector<Bytes> expected = ExpectedStartUp();
        expected.push_back({0x12, 0x00, 0x33});
        EXPECT_EQ(Meaningful(written), Joined(expected, expectedQuiet)) << scenario;
    }
}

// With stdin at its end no key can come: the program goes on, without
// spinning on the closed input.
TEST_F(Scenario, AClosedStdinIsNoKeyAndNoBusyLoop) {
    Launch launch = With("still");
    launch.input = Launch::Closed;
    Program p(launch);

    EXPECT_EQ(p.WaitForExit(), 0);
    EXPECT_EQ(p.Stdout(), Banner() + "IR-Track NG\n");
    // The run lasts 2 s or more; the program's own busy waits (the probe
    // window and the camera set-up) take under 0.2 s of it.
    EXPECT_LT(p.CpuSeconds(), 1.0);
}

// One remote, two programs: the second names the first's process and ends
// without a word to the remote; once the first has ended, the remote is free.
TEST_F(Scenario, ASecondProgramLeavesARemoteInUseAlone) {
    TempDir shared;
    Launch first = With("escape");
    first.node = shared.File("hidraw0");
    Program a(first);
    ASSERT_TRUE(a.WaitForOutput(Banner()));

    Launch second = With("home");
    second.node = first.node;
    Program b(second);
    EXPECT_EQ(b.WaitForExit(), 1);
    EXPECT_EQ(b.Stderr(), "tiny_hid_dll: " + first.node + ": the remote is in use by process " +
                              std::to_string(a.pid) + ".\nWii-Remote not found.\n" +
                              expectedNoRemoteAdvice);
    EXPECT_EQ(b.Stdout(), "");
    std::vector<LogLine> log = b.HidLog();
    ASSERT_EQ(log.size(), 1u) << "an open that found nothing, and no write";
    EXPECT_EQ(log[0].kind, "open");
    EXPECT_EQ(log[0].length, -1);

    EXPECT_TRUE(a.Running());
    a.Type("\x1b");
    EXPECT_EQ(a.WaitForExit(Ms(8000)), 0);

    Launch third = With("home");
    third.node = first.node;
    Program c(third);
    EXPECT_EQ(c.WaitForExit(), 0);
    EXPECT_EQ(c.Stderr(), "");
}

TEST_F(Scenario, TheRealLibraryFindsNoRemoteHere) {
    if (access("/dev/hidraw0", F_OK) == 0)
        GTEST_SKIP() << "this machine has HID devices; a remote may be among them";
    Launch launch = With("no_remote");
    launch.scripted = false;
    Program p(launch);

    EXPECT_EQ(p.WaitForExit(), 1);
    EXPECT_EQ(p.Stderr(), std::string("Wii-Remote not found.\n") + expectedNoRemoteAdvice);
    EXPECT_FALSE(p.HidLogExists());
}

TEST_F(Scenario, WaylandTakesTheMouseAwayFromX11) {
    if (access("/dev/uinput", W_OK) == 0)
        GTEST_SKIP() << "/dev/uinput can be used here";
    Launch launch = With("home");
    launch.wayland = "wayland-0";
    Program p(launch);

    EXPECT_EQ(p.WaitForExit(), 1);
    EXPECT_NE(p.Stderr().find("WAYLAND_DISPLAY is set"), std::string::npos) << p.Stderr();
    EXPECT_NE(p.Stderr().find("/dev/uinput"), std::string::npos) << p.Stderr();
    EXPECT_FALSE(p.HidLogExists()) << "the remote is not opened";
}

TEST(NoMouseOutput, SaysWhatWasTriedAndEndsBeforeTheRemoteIsOpened) {
    if (access("/dev/uinput", W_OK) == 0)
        GTEST_SKIP() << "/dev/uinput can be used here";
    struct Case {
        std::optional<std::string> display;
        const char *said;
    } cases[] = {{std::nullopt, "DISPLAY is not set"}, {":4095", "cannot open display \":4095\""}};
    for (const Case &c : cases) {
        Launch launch;
        launch.display = c.display;
        launch.script = ScenarioPath("home");
        Program p(launch);

        EXPECT_EQ(p.WaitForExit(), 1);
        std::string err = p.Stderr();
        EXPECT_NE(err.find(c.said), std::string::npos) << err;
        EXPECT_NE(err.find("cannot open /dev/uinput"), std::string::npos) << err;
        EXPECT_NE(err.find("udev rule"), std::string::npos) << err;
        EXPECT_EQ(p.Stdout(), "");
        EXPECT_FALSE(p.HidLogExists()) << "the remote is not opened";
    }
}

// As sudo leaves a desktop session: DISPLAY names its XWayland, and
// WAYLAND_DISPLAY and XDG_RUNTIME_DIR are gone. XTest there would reach X
// programs only; the program says why it leaves X11.
TEST(WaylandDesktop, XWaylandIsLeftForUinput) {
    WaylandSession session(1, "output HEADLESS-1 mode 640x480");
    if (!session.skip.empty())
        GTEST_SKIP() << session.skip;
    ASSERT_FALSE(session.socket.empty());
    ASSERT_TRUE(session.StartXWayland());
    Launch launch;
    launch.display = session.display;
    launch.script = ScenarioPath("home");
    Program p(launch);
    bool uinput = access("/dev/uinput", W_OK) == 0;

    EXPECT_EQ(p.WaitForExit(), uinput ? 0 : 1);
    std::string err = p.Stderr();
    std::string why = "display \"" + session.display + "\" is XWayland, in a Wayland session";
    EXPECT_NE(err.find(uinput ? "lumadrifter: not using X11: " + why : "  X11: " + why),
              std::string::npos)
        << err;
    if (!uinput) {
        EXPECT_NE(err.find("cannot open /dev/uinput"), std::string::npos) << err;
    }
}

// Two outputs, one scaled and placed up and to the left: the box of their
// logical areas, its corner at negative coordinates.
TEST(WaylandDesktop, LayoutIsTheOutputsBoxInLogicalPixels) {
    WaylandSession session(2, "output HEADLESS-1 mode 800x600 position 0 0\n"
                              "output HEADLESS-2 mode 640x480 position -320 -100 scale 2");
    if (!session.skip.empty())
        GTEST_SKIP() << session.skip;
    ASSERT_FALSE(session.socket.empty());
    OutputArea box = {};

    const std::vector<int> expected = {-320, -100, 1120, 700};

    setenv("WAYLAND_DISPLAY", session.socket.c_str(), 1);
    bool read = ReadWaylandLayout(&box);
    unsetenv("WAYLAND_DISPLAY");
    ASSERT_TRUE(read);
    EXPECT_EQ((std::vector<int>{box.x, box.y, box.width, box.height}), expected);

    // Without WAYLAND_DISPLAY the runtime folder's socket is found (sway's
    // is wayland-1).
    box = {};
    const char *runtime = std::getenv("XDG_RUNTIME_DIR");
    std::string before = runtime ? runtime : "";
    setenv("XDG_RUNTIME_DIR", session.dir.path.c_str(), 1);
    read = ReadWaylandLayout(&box);
    if (runtime)
        setenv("XDG_RUNTIME_DIR", before.c_str(), 1);
    else
        unsetenv("XDG_RUNTIME_DIR");
    ASSERT_TRUE(read);
    EXPECT_EQ((std::vector<int>{box.x, box.y, box.width, box.height}), expected);
}

// The layout as it changes while the connection is listened to: a
// compositor stopped at start, its answer late (heard as a change); then an
// output added, moved left over the first, scaled; each heard as its box.
TEST(WaylandDesktop, LayoutChangesAreHeardAsTheyCome) {
    WaylandSession session(1, "output HEADLESS-1 mode 800x600 position 0 0");
    if (!session.skip.empty())
        GTEST_SKIP() << session.skip;
    ASSERT_FALSE(session.socket.empty());
    OutputArea box = {};
    const char *why = nullptr;
    kill(session.sway, SIGSTOP);
    setenv("WAYLAND_DISPLAY", session.socket.c_str(), 1);
    bool read = ReadWaylandLayout(&box, &why);
    unsetenv("WAYLAND_DISPLAY");
    kill(session.sway, SIGCONT);
    ASSERT_FALSE(read);
    EXPECT_STREQ(why, "no answer within 1 s");

    struct Change {
        std::vector<std::string> msg;
        std::vector<int> box;
    } changes[] = {
        {{"-t", "get_version"}, {0, 0, 800, 600}},     // the late answer; no change asked for
        {{"create_output"}, {0, 0, 800 + 1920, 1080}}, // headless: 1920 x 1080, at the right
        {{"--", "output", "HEADLESS-2", "position", "-960", "0"}, {-960, 0, 1920, 1080}},
        {{"output", "HEADLESS-2", "scale", "2"}, {-960, 0, 960 + 800, 600}}, // 960 x 540 now
    };
    for (const Change &c : changes) {
        SCOPED_TRACE(c.msg.back());
        ASSERT_TRUE(session.Msg(c.msg));
        // The boxes heard until this one; the guard stops the listening if
        // it never comes.
        std::vector<int> heard;
        auto next = std::async(std::launch::async, [&] {
            while (heard != c.box && NextWaylandLayout(&box))
                heard = {box.x, box.y, box.width, box.height};
        });
        if (next.wait_for(std::chrono::seconds(30)) != std::future_status::ready)
            StopWaylandLayout();
        next.get();
        ASSERT_EQ(heard, c.box);
    }
    StopWaylandLayout();
    EXPECT_FALSE(NextWaylandLayout(&box));
}

// A compositor that never answers (a socket no one accepts from): the
// program waits its second, says what it took instead, and goes on.
TEST(WaylandDesktop, SilentCompositorIsToldAndTheFirstModeTaken) {
    TempDir runtime;
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s",
                  runtime.File("wayland-0").c_str());
    int silent = socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_EQ(bind(silent, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
    ASSERT_EQ(listen(silent, 4), 0);
    Launch launch;
    launch.wayland = "wayland-0";
    launch.runtime = runtime.path;
    launch.script = ScenarioPath("home");
    Program p(launch);
    bool uinput = access("/dev/uinput", W_OK) == 0;

    EXPECT_EQ(p.WaitForExit(), uinput ? 0 : 1);
    close(silent);
    std::string err = p.Stderr();
    if (uinput) {
        int w, h;
        bool mode = ReadScreenSize("/sys/class/drm", &w, &h);
        std::string said =
            "lumadrifter: the compositor did not describe its screens (no answer "
            "within 1 s); the mouse covers " +
            std::to_string(w) + "x" + std::to_string(h) + ", " +
            (mode ? "the first display's mode" : "as no display's mode could be read") + ".\n";
        EXPECT_EQ(err.substr(0, said.size()), said) << err;
        EXPECT_EQ(err.find("did not describe", said.size()), std::string::npos) << err;
    } else {
        EXPECT_EQ(err.find("did not describe"), std::string::npos)
            << "no mouse, nothing said of its size\n"
            << err;
        EXPECT_NE(err.find("cannot open /dev/uinput"), std::string::npos) << err;
    }
}

} // namespace
