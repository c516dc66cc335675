// Tests that run inside the VM, on Debian's own kernel: the virtual remote
// through uhid and hidraw, and the real program against it.
#include "tests/expected_banner.h"
#include "tests/vm/program_run.h"

#include <csignal>
#include <regex>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>

namespace {

// A raw node opened by the test itself: reports written and read whole.
struct RawNode {
    int fd = -1;
    explicit RawNode(const std::string &path) { fd = open(path.c_str(), O_RDWR | O_CLOEXEC); }
    ~RawNode() { close(fd); }
    int Write(const Bytes &report) {
        return static_cast<int>(write(fd, report.data(), report.size()));
    }
    // The next input report, or nothing after ms.
    Bytes Read(int ms = 2000) {
        pollfd ready = {fd, POLLIN, 0};
        if (poll(&ready, 1, ms) <= 0)
            return {};
        uint8_t buffer[256];
        ssize_t n = read(fd, buffer, sizeof buffer);
        return n > 0 ? Bytes(buffer, buffer + n) : Bytes{};
    }
};

Bytes Data33(Bytes dots) {
    dots.insert(dots.begin(), {0x33, 0x00, 0x00, 0x80, 0x80, 0x9A});
    return dots;
}

// The virtual remote through the kernel's raw node, read and written by the
// test: the kernel takes its reports at their real lengths, and it answers
// as the real remote does.
TEST(Vm, VirtualRemoteAnswersThroughHidraw) {
    Session s;
    ASSERT_NO_FATAL_FAILURE(s.StartRemote("hidraw"));
    RawNode node(s.hidraw);
    ASSERT_GE(node.fd, 0);
    s.remote.Play("hidraw.remote");

    ASSERT_EQ(node.Write(ExpectedStartUp().front()), 3);
    EXPECT_EQ(node.Read(), (Bytes{0x31, 0x00, 0x00, 0x80, 0x80, 0x9A})) << "a report at once";
    node.Write({0x11, 0x10});
    node.Write({0x15, 0x00});
    EXPECT_EQ(node.Read(), (Bytes{0x20, 0x00, 0x00, 0x10, 0x00, 0x00, 0xC8})) << "status";

    for (const Bytes &report : WithZeroBlock(expectedCameraSetUp)) {
        ASSERT_EQ(node.Write(report), static_cast<int>(report.size()));
        if (report[0] == 0x16) {
            EXPECT_EQ(node.Read(), (Bytes{0x22, 0x00, 0x00, 0x16, 0x00})) << Hex(report);
        }
    }
    node.Write(trackingMode);
    EXPECT_EQ(node.Read(), Data33(Bytes(12, 0xFF))) << "the dots come once the script reaches them";
    EXPECT_EQ(node.Read(),
              Data33({0xF4, 0x90, 0x52, 0x1C, 0xA4, 0x62, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(node.Read(), (Bytes{0x20, 0x00, 0x00, 0x18, 0x00, 0x00, 0xC8}))
        << "a status report on its own: LED 1, camera on";
    EXPECT_EQ(node.Read(500), Bytes{}) << "B pressed, but no data reports after a status report";

    EXPECT_EQ(s.remote.Wait(10000), 0) << s.remote.Err();
    std::vector<Bytes> sent = Joined(Joined({ExpectedStartUp().front(), {0x11, 0x10}, {0x15, 0x00}},
                                            WithZeroBlock(expectedCameraSetUp)),
                                     {trackingMode});
    EXPECT_EQ(s.remote.Outputs(), sent) << "every output report, whole and at its length";
}

// ---- the real program ----

// The kernel's own driver for the remote, for one test: from its loading
// on, it rather than the generic driver takes a remote that appears.
struct RemoteDriver {
    std::vector<std::string> modules;
    RemoteDriver() {
        WriteFile("/sys/module/hid/parameters/ignore_special_drivers", "0");
        modules = LoadModules("driver.modules");
    }
    ~RemoteDriver() {
        for (auto m = modules.rbegin(); m != modules.rend(); ++m)
            system(("rmmod " + *m).c_str());
        WriteFile("/sys/module/hid/parameters/ignore_special_drivers", "1");
    }
};

const std::string banner = expectedBanner;

// The values that follow the first occurrence of `first`, `first` included.
std::vector<int> From(const std::vector<int> &values, int first) {
    return std::vector<int>(std::find(values.begin(), values.end(), first), values.end());
}

// A run with the remote's own driver bound, the program not yet started,
// and the driver's key device for the remote recorded: the one under the
// remote's HID device, taken once udevd has done with the new devices, as
// before a user starts the program (its rules open the driver's camera
// device, and the driver answers an open and a close with a camera set-up
// of its own and with the camera off).
struct DriverRun {
    RemoteDriver driver;
    Session s;
    std::unique_ptr<EventRecorder> keyPresses;

    void StartRemote(const std::string &name) {
        ASSERT_FALSE(driver.modules.empty());
        ASSERT_NO_FATAL_FAILURE(s.StartRemote(name));
        std::string hid =
            ReadLink("/sys/class/hidraw/" + s.hidraw.substr(5) + "/device").filename();
        InputNode keys = WaitForInputNode(
            [&](const InputNode &n) { return n.hidParent == hid && n.keys; }, 10000, 20);
        ASSERT_NE(keys.event, "") << "the driver made no key device";
        EXPECT_EQ(keys.vendor, 0x057E);
        system("/usr/bin/udevadm settle --timeout=30");
        keyPresses = std::make_unique<EventRecorder>(keys.event);
        ASSERT_TRUE(keyPresses->Opened()) << keys.event;
    }
};

// The program ended by a signal, as a user's kill ends it.
void Terminate(Session &s) {
    kill(s.program.pid, SIGTERM);
    EXPECT_EQ(s.program.Wait(10000), 128 + SIGTERM);
}

// The key presses an evdev recorder saw, by value: 1 pressed, 0 released.
std::vector<int> KeyCodes(const std::vector<input_event> &events, int value) {
    std::vector<int> codes;
    for (const input_event &e : events)
        if (e.type == EV_KEY && e.value == value)
            codes.push_back(e.code);
    return codes;
}

// A pressed and released once the program has ended; the remote goes when
// the recorder has read the release of the last key pressed, as events
// still unread when a device goes are lost with it.
void PressAThenGo(RemoteRun &remote, EventRecorder &keys) {
    remote.Type("buttons 00 08\nwait 200\nbuttons 00 00\n");
    WaitUntil(
        [&] {
            std::vector<int> pressed = KeyCodes(keys.Events(), 1);
            std::vector<int> released = KeyCodes(keys.Events(), 0);
            return !pressed.empty() && !released.empty() && released.back() == pressed.back();
        },
        10000);
    remote.Type("gone\n");
}

// What the remote's log says of its status reports while the program ran
// (from its mode 0x33 to its quiet state): how many came; those (by number,
// from 0) before which the program's mode was not the last one selected
// since the report before; and whether it is since the last.
struct StatusReports {
    int count = 0;
    std::vector<int> unanswered;
    bool answered = true;

    explicit StatusReports(const std::string &log) {
        Bytes lastMode;
        bool running = false;
        for (const LogLine &line : ReadRemoteLog(log)) {
            running = running || (line.kind == "output" && line.bytes == trackingMode);
            if (!running)
                continue;
            if (line.kind == "output" && line.bytes == expectedQuiet.front())
                break; // the program's shutdown
            if (line.kind == "output" && line.bytes[0] == 0x12)
                lastMode = line.bytes;
            if (line.kind == "input" && line.bytes[0] == 0x20) {
                if (count++ > 0 && lastMode != trackingMode)
                    unanswered.push_back(count - 1);
                lastMode.clear();
            }
        }
        answered = lastMode == trackingMode;
    }
};

// a. The generic driver has the remote: the whole run, from the probe to
// Home, as the remote and a real uinput device see it.
TEST(Vm, ProgramWithGenericDriver) {
    Session s;
    ASSERT_NO_FATAL_FAILURE(s.Start("generic", "generic.remote"));
    EXPECT_EQ(s.Finish(), 0) << s.program.Err();
    EXPECT_EQ(s.program.Out(), banner + "IR-Track NG\nIR-Track Ok\n");

    // Plus: the buzz, on and off, in that order; Home: the remote quieted.
    std::vector<Bytes> expected =
        Joined(Joined(ExpectedStartUp(), {{0x13, 0x05}, {0x13, 0x04}}), expectedQuiet);
    EXPECT_EQ(s.remote.Outputs(), FromOneBuffer(expected));

    // The buzz's 80 ms is the program's own wait, checked on a stepped clock
    // by the unit tests; what the remote receives under emulation is no
    // measure of it.

    std::vector<input_event> events = s.pointer->Stop();
    EXPECT_EQ(Values(events, EV_KEY, BTN_LEFT), (std::vector<int>{1, 0}));
    EXPECT_EQ(Values(events, EV_KEY, BTN_RIGHT), (std::vector<int>{1, 0}));
    EXPECT_EQ(Values(events, EV_REL, REL_WHEEL_HI_RES), (std::vector<int>{64, 64, 64, -64}));
    EXPECT_EQ(Values(events, EV_REL, REL_WHEEL), (std::vector<int>{1}));
    EXPECT_EQ(Head(From(Values(events, EV_ABS, ABS_X), 1919), genericTraceX.size()), genericTraceX);
    EXPECT_FALSE(InputNodeExists(pointerName)) << "the virtual mouse is gone";
}

// b. The kernel's own driver has the remote, as on a desktop: it asks for
// status, sets LEDs and its own reporting mode, and makes key devices. The
// program tracks on through that, and holds the driver's keys while it runs.
TEST(Vm, ProgramWithRemoteDriver) {
    DriverRun d;
    Session &s = d.s;
    ASSERT_NO_FATAL_FAILURE(d.StartRemote("driver"));
    ASSERT_NO_FATAL_FAILURE(s.StartProgram(""));
    s.remote.Type(ReadFile("/vm/driver.remote"));
    // While the program runs, the driver's own status requests, as battery
    // readings make them: one reading at a time, each once the program has
    // selected its mode again after the status report before it.
    ASSERT_TRUE(s.remote.Received(trackingMode, 10000)) << s.program.Err();
    StatusReports status(s.remote.log);
    EXPECT_TRUE(WaitUntil(
        [&] {
            status = StatusReports(s.remote.log);
            if (status.count < 5 && status.answered)
                for (const std::string &supply : ListDirectory("/sys/class/power_supply"))
                    ReadFile("/sys/class/power_supply/" + supply + "/capacity");
            return status.count >= 5;
        },
        20000, 100))
        << status.count << " status reports";

    // The program ends at Home; its holds end with it, before its parent
    // sees it gone. Then A.
    EXPECT_EQ(s.program.Wait(30000), 0) << s.program.Err();
    PressAThenGo(s.remote, *d.keyPresses);
    EXPECT_EQ(s.remote.Wait(30000), 0) << ReadFile(s.remote.log);
    EXPECT_EQ(s.program.Err(), consoleLayoutGuess);
    EXPECT_EQ(s.program.Out(), banner + "IR-Track NG\nIR-Track Ok\n") << "tracking is never lost";

    std::vector<input_event> events = s.pointer->Stop();
    EXPECT_EQ(Values(events, EV_KEY, BTN_LEFT), (std::vector<int>{1, 0}));
    // Left towards the first target, then right again once the dots moved,
    // which only IR reports could show after the status report.
    std::vector<int> x = From(Values(events, EV_ABS, ABS_X), 1919);
    auto turn = std::min_element(x.begin(), x.end());
    EXPECT_TRUE(std::is_sorted(x.begin(), turn + 1, std::greater<int>()));
    EXPECT_GE(x.end() - turn, 4) << "the cursor turned back right";
    EXPECT_TRUE(std::is_sorted(turn, x.end()));

    // The B and Home pressed while the program ran reached no one; the A
    // pressed after it ended reaches the driver's key device. (Home, still
    // down when the program let go, is seen released.)
    std::vector<input_event> keys = d.keyPresses->Stop();
    std::vector<int> pressed = KeyCodes(keys, 1), released = KeyCodes(keys, 0);
    EXPECT_EQ(pressed.size(), 1u) << "only A, after the program";
    EXPECT_EQ(released.size(), 2u);
    EXPECT_TRUE(!pressed.empty() && !released.empty() && released.back() == pressed[0]);

    // Every status report while the program ran, asked for by the driver or
    // not, ended with the program's mode as the remote's last word on it.
    status = StatusReports(s.remote.log);
    EXPECT_GE(status.count, 5);
    EXPECT_EQ(status.unanswered, std::vector<int>{}) << "status reports after which another mode "
                                                        "was the last selected";
    EXPECT_TRUE(status.answered);
}

// A signal inside the buzz: the remote still ends quiet, its camera and
// streaming off and its motor stopped, and nothing of the run comes after.
TEST(Vm, SignalInsideTheBuzzLeavesTheRemoteQuiet) {
    Session s;
    ASSERT_NO_FATAL_FAILURE(s.StartRemote("signalled"));
    s.program.Start("signalled");
    ASSERT_TRUE(s.remote.Received(trackingMode, 10000)) << s.program.Err();
    s.remote.Type("buttons 10 00\n"); // Plus held: one wheel step and its buzz
    ASSERT_TRUE(s.remote.Received({0x13, 0x05}, 10000, 5)) << s.program.Err();
    Terminate(s);

    std::vector<Bytes> outputs = s.remote.Outputs();
    ASSERT_GE(outputs.size(), 3u);
    EXPECT_EQ(std::vector<Bytes>(outputs.end() - 3, outputs.end()), expectedQuiet);
    EXPECT_EQ(outputs.back()[1] & 0x01, 0) << "the rumble bit ends";
    std::vector<LogLine> log = ReadRemoteLog(s.remote.log);
    auto close =
        std::find_if(log.begin(), log.end(), [](const LogLine &l) { return l.kind == "close"; });
    ASSERT_NE(close, log.end()) << "the program closes the remote";
    EXPECT_TRUE(
        std::none_of(close, log.end(), [](const LogLine &l) { return l.kind == "output"; }));
}

// The program ended by a signal lets go of the driver's key device too.
TEST(Vm, RemoteDriverKeysFreedWhenProgramKilled) {
    DriverRun d;
    Session &s = d.s;
    ASSERT_NO_FATAL_FAILURE(d.StartRemote("killed"));
    ASSERT_NO_FATAL_FAILURE(s.StartProgram(""));
    ASSERT_TRUE(s.remote.Received(trackingMode, 10000)) << s.program.Err();
    s.remote.Type("buttons 00 04\nwait 200\nbuttons 00 00\n");
    // The program has clicked B, down and up again.
    const std::vector<int> click = {1, 0};
    EXPECT_TRUE(
        WaitUntil([&] { return Values(s.pointer->Events(), EV_KEY, BTN_LEFT) == click; }, 10000));
    Terminate(s);
    EXPECT_TRUE(KeyCodes(d.keyPresses->Events(), 1).empty())
        << "B, while the program ran, reached no one";

    PressAThenGo(s.remote, *d.keyPresses);
    EXPECT_EQ(s.remote.Wait(10000), 0);
    EXPECT_EQ(KeyCodes(d.keyPresses->Stop(), 1).size(), 1u)
        << "A, after the program, reaches the device";
}

// A user who may use the remote and make a virtual mouse, but not open the
// driver's key device: the HID library says so in one line, with what
// follows from it, and the program works all the same.
TEST(Vm, RemoteDriverKeysClosedToUser) {
    RemoteDriver driver;
    Session s;
    ASSERT_NO_FATAL_FAILURE(s.StartRemote("closed"));
    chmod(s.hidraw.c_str(), 0666);
    chmod("/dev/uinput", 0666);
    s.program.user = 1000;
    ASSERT_NO_FATAL_FAILURE(s.StartProgram("home.remote"));
    EXPECT_EQ(s.Finish(), 0);
    chmod("/dev/uinput", 0600);

    // The key device's number, whichever the kernel gave it, as N.
    EXPECT_EQ(std::regex_replace(s.program.Err(), std::regex("event[0-9]+,"), "eventN,"),
              consoleLayoutGuess +
                  "tiny_hid_dll: /dev/input/eventN, the remote's key device: "
                  "Permission denied. Its buttons also reach the system as keys.\n");
}

// The newer model of the remote has a product id of its own; the program
// asks for the first and takes the newer one when that is not there.
TEST(Vm, ProgramFindsTheNewerRemote) {
    Session s;
    ASSERT_NO_FATAL_FAILURE(s.StartRemote("newer", "0330"));
    ASSERT_NO_FATAL_FAILURE(s.StartProgram("home.remote"));
    EXPECT_EQ(s.Finish(), 0) << s.program.Err();
    EXPECT_EQ(s.program.Out(), banner + "IR-Track NG\n");
    EXPECT_EQ(s.remote.Outputs(), FromOneBuffer(Joined(ExpectedStartUp(), expectedQuiet)));
}

// One remote, two programs, the real HID library on a real hidraw node: a
// second program started while the first drives the remote names the
// first's process and ends with 1, having sent the remote nothing; the
// first goes on to the end of its run.
TEST(Vm, ASecondProgramLeavesARemoteInUseAlone) {
    Session s;
    ASSERT_NO_FATAL_FAILURE(s.StartRemote("first"));
    s.program.Start("first");
    // The banner comes a line at a time: wait for all of it.
    WaitUntil([&] { return s.program.Out().size() >= banner.size(); }, 10000);
    ASSERT_EQ(s.program.Out().rfind(banner, 0), 0u) << s.program.Out() << s.program.Err();

    ProgramRun second;
    second.Start("second");
    EXPECT_EQ(second.Wait(10000), 1);
    EXPECT_EQ(second.Err(), consoleLayoutGuess + "tiny_hid_dll: " + s.hidraw +
                                ": the remote is in use by process " +
                                std::to_string(s.program.pid) + ".\nWii-Remote not found.\n" +
                                expectedNoRemoteAdvice);
    EXPECT_EQ(second.Out(), "");

    s.remote.PlayCommands("buttons 00 80\nawait 1a 00\nwait 300\ngone\n");
    EXPECT_EQ(s.Finish(), 0) << s.program.Err();
    EXPECT_EQ(s.remote.Outputs(), FromOneBuffer(Joined(ExpectedStartUp(), expectedQuiet)))
        << "the first program's run alone";
}

// c. The remote goes away while B is held: the program releases the button,
// says so and ends with exit code 1; its virtual mouse goes with it.
TEST(Vm, RemoteGoneWhileBHeld) {
    Session s;
    ASSERT_NO_FATAL_FAILURE(s.Start("gone", "gone.remote"));
    EXPECT_EQ(s.Finish(), 1);
    EXPECT_EQ(s.program.Err(), consoleLayoutGuess + "Wii-Remote disconnected.\n");
    EXPECT_EQ(s.program.Out(), banner + "IR-Track NG\n");

    EXPECT_EQ(s.pointer->Wait(5000), 0) << "the device goes";
    EXPECT_FALSE(InputNodeExists(pointerName));
    EXPECT_EQ(Values(s.pointer->Stop(), EV_KEY, BTN_LEFT), (std::vector<int>{1, 0}))
        << "nothing is left pressed";
}

// d. uinput for real: the screen's range, positions clamped to it, and the
// wheel's hi-res and legacy axes; a compositor that never answers is said
// in one line, and the default taken.
TEST(Vm, UinputPointer) {
    mkdir("/tmp/silent", 0700);
    sockaddr_un address = {AF_UNIX, "/tmp/silent/wayland-0"};
    int silent = socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_EQ(bind(silent, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
    ASSERT_EQ(listen(silent, 4), 0);
    Session s;
    s.program.env = {"XDG_RUNTIME_DIR=/tmp/silent", "WAYLAND_DISPLAY=wayland-0"};
    ASSERT_NO_FATAL_FAILURE(s.Start("uinput", "uinput.remote"));
    // No display in the VM: the screen is the default 1920 x 1080.
    input_absinfo x = AbsoluteAxis(s.pointerNode, ABS_X), y = AbsoluteAxis(s.pointerNode, ABS_Y);
    EXPECT_EQ((std::vector<int>{x.minimum, x.maximum, y.minimum, y.maximum}),
              (std::vector<int>{0, 1919, 0, 1079}));
    EXPECT_EQ(s.Finish(), 0) << s.program.Err();
    close(silent);
    EXPECT_EQ(s.program.Err(), "lumadrifter: the compositor did not describe its screens (no "
                               "answer within 1 s); the mouse covers 1920x1080, as no display's "
                               "mode could be read.\n");

    std::vector<input_event> events = s.pointer->Stop();
    // From (1919, 0), where the acknowledgements put it, towards a target
    // past the bottom left corner: each axis stops at its edge.
    EXPECT_EQ(From(Values(events, EV_ABS, ABS_X), 1919),
              (std::vector<int>{1919, 1538, 1113, 758, 463, 217, 12, 0}));
    EXPECT_EQ(Values(events, EV_ABS, ABS_Y),
              (std::vector<int>{168, 352, 506, 634, 741, 830, 904, 966, 1017, 1060, 1079}));

    // Each wheel step a frame: 64 on the hi-res axis, and a legacy click in
    // the frame where the steps since the last click make 120.
    std::vector<int> wheel; // a frame's hi-res and legacy steps (0: none)
    for (const auto &frame : Frames(events)) {
        int hiRes = 0, legacy = 0;
        for (const input_event &e : frame) {
            hiRes += e.type == EV_REL && e.code == REL_WHEEL_HI_RES ? e.value : 0;
            legacy += e.type == EV_REL && e.code == REL_WHEEL ? e.value : 0;
        }
        if (hiRes || legacy)
            wheel.insert(wheel.end(), {hiRes, legacy});
    }
    // One, 4 reports; Two, 5 reports.
    EXPECT_EQ(wheel, (std::vector<int>{64, 0, 64, 1, 64, 0, 64, 1, -64, 0, -64, 0, -64, -1, -64, -1,
                                       -64, 0}));
}

} // namespace
