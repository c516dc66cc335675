// Terminal keys, the X11 wheel carry and the uinput pointer's events.
#include "platform/linux_mouse_backends.h"
#include "platform/linux_screen_area.h"
#include "platform/linux_terminal_keys.h"
#include "platform/linux_uinput_frames.h"
#include "platform/linux_x11_wheel.h"
#include "platform/platform.h"

#include <gtest/gtest.h>
#include <libevdev/libevdev.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <tuple>
#include <unistd.h>
#include <vector>

namespace {

using Ints = std::vector<int>;

// Every key in the bytes, as a terminal's reader takes them.
Ints Keys(const std::string &bytes, bool complete = true) {
    auto *b = reinterpret_cast<const unsigned char *>(bytes.data());
    Ints keys;
    int used = 0;
    for (size_t at = 0; at < bytes.size(); at += used) {
        int key = -1;
        used = TakeKey(b + at, static_cast<int>(bytes.size() - at), complete, &key);
        if (used == 0)
            break;
        keys.push_back(key);
    }
    return keys;
}

const int Seq = KeySequence;
const int Esc = KeyEscape;

TEST(TerminalKeys, SplitsEachInputIntoItsKeys) {
    struct Case {
        const char *what;
        std::string bytes;
        Ints keys;
    } cases[] = {
        {"plain bytes", "q\n", {'q', '\n'}},
        {"a lone Escape", "\x1b", {Esc}},
        {"Escape pressed twice", "\x1b\x1b", {Esc, Esc}},
        {"arrow up", "\x1b[A", {Seq}},
        {"arrow up in application mode", "\x1bOA", {Seq}},
        {"F1", "\x1bOP", {Seq}},
        {"F5 with parameters", "\x1b[15~", {Seq}},
        {"Ctrl-Right", "\x1b[1;5C", {Seq}},
        {"F1 on the Linux console", "\x1b[[A", {Seq}},
        {"Escape then x in one read", "\x1bx", {Esc, 'x'}},
        {"Escape then Enter in one read", "\x1b\n", {Esc, '\n'}},
        {"arrows then Escape and q", "\x1b[A\x1b[B\x1bq", {Seq, Seq, Esc, 'q'}},
        {"arrow then a lone Escape", "\x1b[D\x1b", {Seq, Esc}},
        {"a sequence broken by Escape", "\x1b[1\x1b", {Seq, Esc}},
        {"a sequence cut short at the end", "\x1b[1;", {Seq}},
        {"Escape then an arrow", "\x1b\x1b[A", {Esc, Seq}},
    };
    for (const Case &c : cases)
        EXPECT_EQ(Keys(c.bytes), c.keys) << c.what;
}

TEST(TerminalKeys, WaitsForTheRestOfWhatMayBeASequence) {
    auto *esc = reinterpret_cast<const unsigned char *>("\x1b[1;5C");
    int key = -1;

    for (int n = 1; n < 6; n++) // a lone ESC may be an arrow's start
        EXPECT_EQ(TakeKey(esc, n, false, &key), 0) << n;
    EXPECT_EQ(TakeKey(esc, 6, false, &key), 6);
    EXPECT_EQ(key, Seq);
    EXPECT_EQ(TakeKey(esc, 1, true, &key), 1);
    EXPECT_EQ(key, Esc);
    EXPECT_EQ(TakeKey(esc, 0, true, &key), 0) << "no bytes, no key";
    EXPECT_EQ(Keys("\x1bO", false), Ints{});
}

TEST(TerminalKeys, NoInputEverYieldsAnEscapeItDoesNotHold) {
    // Every byte but ESC is its own key, whatever follows it.
    for (int b = 0; b < 256; b++) {
        if (b == Esc)
            continue;
        std::string bytes{static_cast<char>(b), '\x1b'};
        EXPECT_EQ(Keys(bytes), (Ints{b, Esc})) << b;
    }
}

// Clicks sent for each wheel amount in turn, from no carry.
Ints Clicks(const Ints &amounts) {
    WheelCarry wheel{};
    Ints clicks;
    for (int a : amounts)
        clicks.push_back(CarryWheel(&wheel, a));
    return clicks;
}

// A click at once, the rest carried; half rounds away from zero; turning the
// other way drops the carry (after +64 +64 it is +8: kept, it would swallow
// the -64); 15 x 64 = 8 x 120; huge amounts do not overflow.
TEST(X11Wheel, ClicksCarryWhatIsLeftOfEachAmount) {
    EXPECT_EQ(Clicks({64}), Ints{1});
    EXPECT_EQ(Clicks({-64}), Ints{-1});
    EXPECT_EQ(Clicks({64, 64, 64, 64}), (Ints{1, 0, 1, 0}));
    EXPECT_EQ(Clicks({120, 240, -360}), (Ints{1, 2, -3}));
    EXPECT_EQ(Clicks({60}), Ints{1});
    EXPECT_EQ(Clicks({59}), Ints{0});
    EXPECT_EQ(Clicks({-60}), Ints{-1});
    EXPECT_EQ(Clicks({-59}), Ints{0});
    EXPECT_EQ(Clicks({179, 181}), (Ints{1, 2}));
    EXPECT_EQ(Clicks({64, 64, -64}), (Ints{1, 0, -1}));
    EXPECT_EQ(Clicks({-64, -64, 64}), (Ints{-1, 0, 1}));
    EXPECT_EQ(Clicks(Ints(15, 64)), (Ints{1, 0, 1, 0, 1, 0, 1, 0, 1, 0, 1, 0, 1, 0, 1}));
    EXPECT_EQ(Clicks(Ints(15, -64)), (Ints{-1, 0, -1, 0, -1, 0, -1, 0, -1, 0, -1, 0, -1, 0, -1}));
    EXPECT_EQ(Clicks({2147483647, 2147483647}), (Ints{17895697, 17895697}));
    EXPECT_EQ(Clicks({-2147483647 - 1}), Ints{-17895697});
}

// An event: its type, code and value.
using Ev = std::tuple<int, int, int>;
using Evs = std::vector<Ev>;

Evs Events(const input_event *events, int count) {
    Evs out;
    for (int i = 0; i < count; i++)
        out.emplace_back(events[i].type, events[i].code, events[i].value);
    return out;
}

UinputPointer Screen(int width, int height) {
    return UinputPointer{width, height, width / 2, height / 2, 0};
}

Evs Mouse(UinputPointer *p, unsigned flags, int data) {
    input_event events[MaxPointerEvents];
    int n = EncodeMouseEvent(p, flags, data, events);
    EXPECT_LE(n, MaxPointerEvents);
    return Events(events, n);
}

Evs Place(UinputPointer *p, int x, int y) {
    input_event events[MaxPointerEvents];
    return Events(events, EncodePlacement(p, x, y, events));
}

const Ev Syn = {EV_SYN, SYN_REPORT, 0};

// A placement's frame.
Evs At(int x, int y) {
    return {{EV_ABS, ABS_X, x}, {EV_ABS, ABS_Y, y}, Syn};
}

TEST(UinputPointerEvents, ButtonsAreKeysEachInAFrame) {
    UinputPointer p = Screen(1920, 1080);
    struct Case {
        unsigned flags;
        Evs events;
    } cases[] = {
        {MouseLeftDown, {{EV_KEY, BTN_LEFT, 1}, Syn}},
        {MouseLeftUp, {{EV_KEY, BTN_LEFT, 0}, Syn}},
        {MouseRightDown, {{EV_KEY, BTN_RIGHT, 1}, Syn}},
        {MouseRightUp, {{EV_KEY, BTN_RIGHT, 0}, Syn}},
        {MouseLeftDown | MouseLeftUp, {{EV_KEY, BTN_LEFT, 1}, Syn, {EV_KEY, BTN_LEFT, 0}, Syn}},
        {0, {}},
    };
    for (const Case &c : cases)
        EXPECT_EQ(Mouse(&p, c.flags, 0), c.events) << c.flags;
}

TEST(UinputPointerEvents, WheelGivesHiResAmountsAndWholeLegacyClicks) {
    UinputPointer p = Screen(1920, 1080);
    // Each amount in turn and the whole clicks it makes: 64 + 64 is one, with
    // 8 left; 8 - 64 is none; -56 - 64 is one; -64 + 360 = 296 is two, 56 left.
    const std::pair<int, int> steps[] = {{64, 0}, {64, 1}, {-64, 0}, {-64, -1}, {-64, 0}, {360, 2}};
    for (auto [amount, clicks] : steps) {
        Evs events = {{EV_REL, REL_WHEEL_HI_RES, amount}, {EV_REL, REL_WHEEL, clicks}, Syn};
        if (clicks == 0)
            events.erase(events.begin() + 1);
        EXPECT_EQ(Mouse(&p, MouseWheel, amount), events) << amount;
    }
    EXPECT_EQ(Mouse(&p, MouseWheel, 0), Evs{});
}

TEST(UinputPointerEvents, PlacementIsClampedToTheScreenAndRemembered) {
    UinputPointer p = Screen(1920, 1080);
    struct Case {
        int x, y;
        int placedX, placedY;
    } cases[] = {
        {100, 200, 100, 200},
        {-5, 2048, 0, 1079},
        {1919, 1079, 1919, 1079},
        {1920, -1, 1919, 0},
        {-2147483647 - 1, 2147483647, 0, 1079},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(Place(&p, c.x, c.y), At(c.placedX, c.placedY)) << c.x << ", " << c.y;
        EXPECT_EQ(Ints({p.x, p.y}), Ints({c.placedX, c.placedY})) << c.x << ", " << c.y;
    }
}

// A device made anew for a changed layout: the cursor stays at its layout
// point, clamped into the new box, and is placed there on the new device; a
// box that was only guessed was stretched over the layout, so the place is
// scaled.
TEST(UinputPointerEvents, NewBoxKeepsTheCursorWhereTheUserSeesIt) {
    struct Case {
        OutputArea from;
        bool guessed;
        int x, y;
        OutputArea to;
        int placedX, placedY;
    } cases[] = {
        {{0, 0, 1920, 240}, false, 100, 50, {0, 0, 2880, 240}, 100, 50}, // output added at right
        {{0, 0, 1920, 240}, false, 100, 50, {-960, 0, 2880, 240}, 1060, 50}, // ... at left
        {{-960, 0, 2880, 240}, false, 1060, 50, {0, 0, 1920, 240}, 100, 50}, // it goes
        {{0, 0, 1920, 240}, false, 1900, 200, {0, 0, 960, 120}, 959, 119},   // scaled: clamped
        {{0, 0, 1920, 240}, false, 10, 10, {500, 100, 640, 480}, 0, 0},      // moved past it
        {{0, 0, 1280, 720}, true, 640, 360, {-100, 0, 2560, 1440}, 1280, 720},
        {{0, 0, 1280, 720}, true, 1279, 719, {0, 0, 640, 480}, 639, 479},
    };
    for (const Case &c : cases) {
        UinputPointer p = {c.from.width, c.from.height, c.x, c.y, 0};
        input_event events[MaxPointerEvents];
        int n = EncodeNewBox(&p, c.from, c.guessed, c.to, events);
        EXPECT_EQ(Events(events, n), At(c.placedX, c.placedY))
            << c.x << ", " << c.y << " to " << c.to.x << ", " << c.to.y;
        EXPECT_EQ(Ints({p.x, p.y, p.width, p.height}),
                  Ints({c.placedX, c.placedY, c.to.width, c.to.height}));
    }
}

// Left and right alone would make libinput hold each press back and turn
// both together into a middle click; a declared middle button stops that.
TEST(UinputPointerEvents, DeviceIsAPointerWithAMiddleButtonOverTheWholeScreen) {
    libevdev *dev = DescribePointer(2560, 1440);

    for (int button : {BTN_LEFT, BTN_RIGHT, BTN_MIDDLE})
        EXPECT_TRUE(libevdev_has_event_code(dev, EV_KEY, button)) << button;
    EXPECT_FALSE(libevdev_has_event_code(dev, EV_KEY, BTN_TOUCH)) << "not a touchscreen";
    EXPECT_FALSE(libevdev_has_event_code(dev, EV_KEY, BTN_TOOL_PEN)) << "not a tablet";
    EXPECT_EQ(Ints({libevdev_get_abs_minimum(dev, ABS_X), libevdev_get_abs_maximum(dev, ABS_X),
                    libevdev_get_abs_minimum(dev, ABS_Y), libevdev_get_abs_maximum(dev, ABS_Y)}),
              Ints({0, 2559, 0, 1439}));
    libevdev_free(dev);
}

using Size = std::pair<int, int>;

TEST(ScreenSize, ComesFromAModeLine) {
    int w = 0, h = 0;
    EXPECT_TRUE(ParseModeSize("2560x1440\n", &w, &h));
    EXPECT_EQ(Size(w, h), Size(2560, 1440));
    EXPECT_TRUE(ParseModeSize("1920x1080i", &w, &h));
    EXPECT_EQ(Size(w, h), Size(1920, 1080));
    for (const char *bad : {"", "x", "1920", "1920x", "-1x5", "0x480", "widexhigh"})
        EXPECT_FALSE(ParseModeSize(bad, &w, &h)) << bad;
}

// A small /sys/class/drm of connectors, each with its status and modes.
struct FakeDrm {
    std::filesystem::path dir;

    FakeDrm() {
        char name[] = "/tmp/lumadrifter-drm-XXXXXX";
        dir = mkdtemp(name);
    }
    ~FakeDrm() { std::filesystem::remove_all(dir); }
    void Connector(const char *name, const char *status, const char *modes) {
        std::filesystem::create_directories(dir / name);
        std::ofstream(dir / name / "status") << status;
        std::ofstream(dir / name / "modes") << modes;
    }
};

TEST(ScreenSize, IsTheFirstConnectedConnectorsFirstMode) {
    FakeDrm drm;
    drm.Connector("card0", "", "");
    drm.Connector("card0-DP-1", "disconnected\n", "");
    drm.Connector("card0-HDMI-A-1", "connected\n", "2560x1440\n1920x1080\n");
    drm.Connector("card0-eDP-1", "connected\n", "1366x768\n");
    int w = 0, h = 0;

    EXPECT_TRUE(ReadScreenSize(drm.dir.c_str(), &w, &h));
    EXPECT_EQ(Size(w, h), Size(2560, 1440));
}

TEST(ScreenSize, Is1920x1080WhenNoneCanBeRead) {
    FakeDrm drm;
    drm.Connector("card0-DP-1", "connected\n", "");
    int w = 0, h = 0;

    EXPECT_FALSE(ReadScreenSize(drm.dir.c_str(), &w, &h));
    EXPECT_EQ(Size(w, h), Size(1920, 1080));
    w = h = 0;
    EXPECT_FALSE(ReadScreenSize("/nonexistent/drm", &w, &h));
    EXPECT_EQ(Size(w, h), Size(1920, 1080));
}

Ints Corners(const OutputArea &a) {
    return {a.x, a.y, a.width, a.height};
}

// Logical pixels, as the compositor gives them: a scaled output's area is
// already its logical size.
TEST(WaylandLayout, SpansTheBoxOfAllOutputs) {
    struct Case {
        std::vector<OutputArea> outputs;
        OutputArea box;
    } cases[] = {
        {{{0, 0, 1920, 1080}}, {0, 0, 1920, 1080}},
        {{{0, 0, 1920, 1080}, {1920, 0, 1920, 1080}}, {0, 0, 3840, 1080}},
        {{{0, 0, 1280, 720}, {-1024, -300, 1024, 768}}, {-1024, -300, 2304, 1020}},
        {{{0, 0, 0, 0}, {100, 50, 640, 480}}, {100, 50, 640, 480}},
    };
    for (const Case &c : cases) {
        OutputArea box = {};
        EXPECT_TRUE(BoundingArea(c.outputs.data(), static_cast<int>(c.outputs.size()), &box));
        EXPECT_EQ(Corners(box), Corners(c.box));
    }
    OutputArea none = {0, 0, 0, 0}, huge[] = {{-2147483647, 0, 10, 10}, {2147483600, 0, 10, 10}};
    OutputArea box;
    EXPECT_FALSE(BoundingArea(&none, 0, &box));
    EXPECT_FALSE(BoundingArea(&none, 1, &box)) << "an output without a size";
    EXPECT_FALSE(BoundingArea(huge, 2, &box)) << "wider than an axis can hold";
}

// A compositor that is gone or never answers leaves the fallback, in
// bounded time (a hang would end in the test's timeout).
TEST(WaylandLayout, NoAnswerIsNoLayout) {
    char dir[] = "/tmp/lumadrifter-wl-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    std::string path = std::string(dir) + "/wayland-0";
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path.c_str());
    int silent = socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_EQ(bind(silent, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
    OutputArea box;
    const char *why = nullptr;

    setenv("WAYLAND_DISPLAY", path.c_str(), 1);
    EXPECT_FALSE(ReadWaylandLayout(&box, &why)) << "a socket no one listens on";
    EXPECT_STREQ(why, "no Wayland socket found");
    EXPECT_FALSE(ListeningToWayland());
    ASSERT_EQ(listen(silent, 4), 0);
    EXPECT_FALSE(ReadWaylandLayout(&box, &why)) << "a compositor that never answers";
    EXPECT_STREQ(why, "no answer within 1 s");
    EXPECT_TRUE(ListeningToWayland()) << "it may answer later";
    StopWaylandLayout();
    EXPECT_FALSE(NextWaylandLayout(&box)) << "the listening stopped";
    EXPECT_FALSE(ListeningToWayland());
    close(silent);
    unsetenv("WAYLAND_DISPLAY");
    std::filesystem::remove_all(dir);
}

} // namespace
