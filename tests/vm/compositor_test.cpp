// The program's virtual mouse in a real Wayland desktop: sway with headless
// outputs takes its input devices through libinput from the kernel, as on a
// desktop (udevd classifies them, seatd hands them over), and wev, an
// ordinary client that owns an output whole (no bar, borders or gaps),
// reports where the pointer is in its surface and what reaches it.
//
// The outputs are 240 pixels high and 1920 logical pixels wide in all, so
// that the program's positions known from the other suites hold unchanged
// and the software rendering stays quick.
#include "tests/vm/program_run.h"

#include <optional>
#include <sys/stat.h>
#include <tuple>

namespace {

using std::filesystem::exists;

using Point = std::pair<int, int>;
using Points = std::vector<Point>;

// What read() gives from the first `from` up to the next `to` (to its end
// for ""), once it gives `from`, looking every stepMs; "" if it has not
// within ms.
std::string AwaitText(const std::function<std::string()> &read, const std::string &from,
                      const std::string &to, int ms, int stepMs = 100) {
    std::string found;
    WaitUntil(
        [&] {
            std::string text = read();
            size_t at = text.find(from);
            if (at != std::string::npos)
                found = text.substr(at, to.empty() ? std::string::npos : text.find(to, at) - at);
            return !found.empty();
        },
        ms, stepMs);
    return found;
}

// A compositor run as user, in the runtime folder /run/user/<user> (gone
// with it); env is what its clients connect with, set once it runs (empty
// while it does not).
struct Compositor {
    const uid_t user;
    const std::string runtime;
    std::vector<std::string> env;

    explicit Compositor(uid_t id) : user(id), runtime("/run/user/" + std::to_string(id)) {
        mkdir("/run/user", 0755);
        mkdir(runtime.c_str(), 0700);
        chown(runtime.c_str(), user, user);
    }
    ~Compositor() { std::system(("rm -rf " + runtime).c_str()); }
};

// seatd as root, handing the devices to the user's group, and sway as the
// user with this many headless outputs and these config lines.
struct Desktop : Compositor {
    Child seatd, sway;

    Desktop(int outputs, const std::string &config) : Compositor(1000) { // "user" in /etc/passwd
        seatd.Start({"/usr/sbin/seatd", "-g", "user"}, {"SEATD_VTBOUND=0"}, "seatd");
        WaitUntil([] { return exists("/run/seatd.sock"); }, 10000, 10);
        std::string file = runtime + "/config";
        WriteFile(file, "default_border none\ngaps inner 0\nfocus_follows_mouse no\n" + config);
        chown(file.c_str(), user, user);
        sway.Start({"/usr/bin/sway", "-c", file},
                   {"XDG_RUNTIME_DIR=" + runtime, "HOME=/home/user", "PATH=/usr/bin:/bin",
                    "WLR_BACKENDS=headless,libinput", "WLR_RENDERER=pixman",
                    "LIBSEAT_BACKEND=seatd", "WLR_HEADLESS_OUTPUTS=" + std::to_string(outputs)},
                   "sway", user);
        // The IPC socket, named for sway's user and process, comes last, once
        // sway is ready.
        std::string ipc = runtime + "/sway-ipc." + std::to_string(user) + "." +
                          std::to_string(sway.pid) + ".sock";
        if (WaitUntil([&] { return exists(ipc); }, 60000))
            for (const std::string &name : ListDirectory(runtime))
                if (name.rfind("wayland-", 0) == 0 && name.find('.') == std::string::npos)
                    env = {"XDG_RUNTIME_DIR=" + runtime, "WAYLAND_DISPLAY=" + name,
                           "SWAYSOCK=" + ipc};
    }
    std::string Errors() const { return sway.Err() + seatd.Err(); }
    std::string Msg(std::vector<std::string> args) {
        args.insert(args.begin(), "/usr/bin/swaymsg");
        return CommandOutput(args, env, user);
    }
    // What sway says of the program's pointer, once it has taken it ("" if
    // it has not within ms).
    std::string PointerInput(int ms) {
        auto inputs = [this] { return Msg({"-t", "get_inputs"}); };
        return AwaitText(inputs, "\"name\": \"Lumadrifter pointer\"", "\n  }", ms);
    }
};

// A move {"move", x, y}, a button {"button", code, 1 pressed or 0
// released}, and for a client also a wheel's notches {"discrete", steps,
// steps} and its value {"axis", value, value}.
using Step = std::tuple<std::string, int, int>;

// wev on the focused output, its output line-buffered into a file; it
// connects as the compositor's user.
struct Client : Child {
    Client(const Compositor &compositor, const std::string &name) {
        Start({"/usr/bin/stdbuf", "-oL", "/usr/bin/wev", "-f", "wl_pointer", "-f", "xdg_toplevel"},
              compositor.env, name + ".wev", compositor.user);
    }
    // Whether the compositor gave the client's surface this size within ms.
    bool Configured(int width, int height, int ms) {
        std::string size =
            "width: " + std::to_string(width) + "; height: " + std::to_string(height);
        return !AwaitText([this] { return Out(); }, size, "", ms, 10).empty();
    }
    // What wev printed of the pointer, e.g.
    //   [14:      wl_pointer] motion: time: 10263; x, y: 1788.000000, 0.000000
    //   [14:      wl_pointer] button: serial: 11; time: 10520; button: 272 (left), state: 1
    //   (pressed) [14:      wl_pointer] axis_stop: axis: 0 (vertical), discrete: -1 (axis_discrete)
    //   [14:      wl_pointer] axis: time: 10831; axis: 0 (vertical), value: -15.000000
    // enter and motion in surface pixels, both moves.
    std::vector<Step> Events() const {
        // Each kind's line and how many numbers it carries: two for moves
        // (x, y) and button (code, state), one for the others.
        static const struct {
            const char *kind, *format;
            int numbers;
        } kinds[] = {
            {"move", "enter: serial: %*d; surface: %*d, x, y: %lf, %lf", 2},
            {"move", "motion: time: %*d; x, y: %lf, %lf", 2},
            {"button", "button: serial: %*d; time: %*d; button: %lf (%*[^)]), state: %lf", 2},
            {"discrete", "axis_stop: axis: 0 (vertical), discrete: %lf", 1},
            {"axis", "axis: time: %*d; axis: 0 (vertical), value: %lf", 1},
        };
        std::vector<Step> events;
        std::istringstream lines(Out());
        for (std::string line; std::getline(lines, line);) {
            const char *text = line.c_str() + (line.find("] ") + 2);
            for (const auto &k : kinds) {
                double a = 0, b = 0;
                if (std::sscanf(text, k.format, &a, &b) != k.numbers)
                    continue;
                events.emplace_back(k.kind, a, k.numbers == 2 ? b : a);
                break;
            }
        }
        return events;
    }
};

// The moves among steps (where the pointer was in the client's surface, as
// the client was told), from the first to `first` on, or all of them.
Points Moves(const std::vector<Step> &steps, std::optional<Point> first = {}) {
    Points at;
    for (const auto &[kind, x, y] : steps)
        if (kind == "move" && (!at.empty() || !first || Point(x, y) == *first))
            at.emplace_back(x, y);
    return at;
}

// What the program's device carried, one step a frame, in order: a move
// (absolute X and Y, each sent only when it changed) or a button.
// The axes start at now (0 on a new device), and the kernel drops what repeats.
std::vector<Step> Steps(const std::vector<input_event> &events, Point now = {0, 0}) {
    std::vector<Step> steps;
    for (const auto &frame : Frames(events)) {
        bool moved = false;
        for (const input_event &e : frame) {
            if (e.type == EV_KEY)
                steps.emplace_back("button", e.code, e.value);
            if (e.type == EV_ABS && e.code == ABS_X)
                now.first = e.value, moved = true;
            if (e.type == EV_ABS && e.code == ABS_Y)
                now.second = e.value, moved = true;
        }
        if (moved)
            steps.emplace_back("move", now.first, now.second);
    }
    return steps;
}

// The program's placements, in its pixels.
Points Placements(const std::vector<input_event> &events, Point now = {0, 0}) {
    return Moves(Steps(events, now));
}

// An output w x h that starts at (x, 0) of the program's box (the layout's
// top-left corner is the program's (0, 0)).
struct Area {
    int x, w, h;
};

// The placements that fall on an output, in its pixels.
Points OnOutput(const Points &placements, Area output) {
    Points on;
    for (auto [x, y] : placements)
        if (x >= output.x && x < output.x + output.w && y >= 0 && y < output.h)
            on.emplace_back(x - output.x, y);
    return on;
}

// The client's surface on the output the compositor gives it, sized w x h;
// then the program's pointer taken by the compositor (what it says of the
// pointer once it has, "" if it has not within ms) before the program's
// first placement; and that placement told to the client before the remote
// plays its script.
//
// The program places the pointer as soon as the camera set-up's answers
// reach it, whatever the compositor has done meanwhile; so the remote keeps
// its reports back from the set-up on (after the probe, which must be
// answered within its own window) until the compositor reads the pointer.
// A client asks for its pointer once the seat has one, which weston gives it
// only with the pointer's first move, and is then told where the pointer
// is: the next move waits for that.
struct Watched {
    Session s;
    std::unique_ptr<Client> client;
    std::string input;    // the compositor's description of the pointer
    std::string udev;     // udev's properties of the pointer's node
    Point box;            // the pointer's axes, as the program sized them
    Point first{1919, 0}; // the program's first placement, in the client's surface

    // The whole run, the remote playing script: the program's box is
    // 1920 x 240 in every such layout. With no script, the run up to the
    // first placement told, the rest left to the caller.
    template <typename Compositor>
    void Start(Compositor &compositor, const std::string &name, int w, int h,
               const std::vector<std::string> &programEnv, const std::string &script) {
        ASSERT_FALSE(compositor.env.empty()) << compositor.Errors();
        client = std::make_unique<Client>(compositor, name);
        ASSERT_TRUE(client->Configured(w, h, 30000)) << client->Out();
        s.program.env = programEnv;
        ASSERT_NO_FATAL_FAILURE(s.StartRemote(name));
        s.remote.Type("await 11 10\nhold\n"); // LED 1 lit: the probe is over
        ASSERT_NO_FATAL_FAILURE(s.StartProgram(""));
        // A probe left unanswered within its window (the program's, by
        // design) ends the program; on a machine too slow for the virtual
        // remote to answer in time, that is what the test says.
        bool gaveUp = false;
        bool lit = WaitUntil(
            [&] {
                gaveUp = s.program.Err().find("Wii-Remote cannot open.") != std::string::npos;
                return gaveUp || s.remote.Received(ExpectedStartUp()[1]);
            },
            20000);
        ASSERT_FALSE(gaveUp) << "the virtual remote did not answer the program's probe within its "
                                "100 ms window: the machine was too slow for this run";
        ASSERT_TRUE(lit) << "the program neither passed its probe nor gave up\n" << s.program.Err();
        box = {AbsoluteAxis(s.pointerNode, ABS_X).maximum + 1,
               AbsoluteAxis(s.pointerNode, ABS_Y).maximum + 1};
        input = compositor.PointerInput(20000);
        ASSERT_NE(input, "") << "the compositor never took the pointer";
        udev = UdevProperties(s.pointerNode);
        s.remote.Type("release\n");
        ASSERT_TRUE(WaitUntil([&] { return !Moves(client->Events(), first).empty(); }, 20000))
            << "the client was never told of the program's first placement\n"
            << client->Out();
        if (script.empty())
            return;
        s.remote.Play(script);
        EXPECT_EQ(s.Finish(), 0) << s.program.Err();
        s.pointer->Stop();
        EXPECT_EQ(box, Point(1920, 240));
    }
    // The client is told every placement given, generic.remote's trace
    // first, each where onClient puts a point of the program's in its
    // surface (by default where it was made: one output the client fills is
    // the box). The compositor hands the moves on in its own time, maybe
    // well after the program's end; the guard stops the wait if the client
    // falls short, and wev ends.
    void ExpectSeen(const std::function<Points(const Points &)> &onClient =
                        [](const Points &placed) { return placed; }) {
        Points placed = onClient(Placements(s.pointer->Events())), trace;
        WaitUntil([&] { return Moves(client->Events(), first).size() >= placed.size(); }, 30000);
        client->Stop();
        Points at = Moves(client->Events(), first);
        for (int x : genericTraceX)
            trace.emplace_back(x, 0);
        EXPECT_EQ(Head(at, trace.size()), onClient(trace)) << client->Out();
        EXPECT_EQ(at, placed);
    }
};

// a, e, f. One output: the client is told every position the program placed
// the pointer at, and its clicks, in the order the program made them; the
// device is a mouse to udev and a pointer to libinput, with no middle
// button emulation to hold a press back or merge B and A into a middle click.
TEST(VmCompositor, OneOutputSeesEveryPlacementClickAndWheelStep) {
    Desktop desktop(1, "output HEADLESS-1 mode 1920x240 position 0 0\n");
    Watched w;
    ASSERT_NO_FATAL_FAILURE(w.Start(desktop, "one", 1920, 240, desktop.env, "compositor.remote"));
    w.ExpectSeen();
    std::vector<input_event> sent = w.s.pointer->Events();
    std::vector<Step> seen = w.client->Events();

    EXPECT_NE(w.udev.find("\nID_INPUT_MOUSE=1\n"), std::string::npos) << w.udev;
    for (const char *other : {"TABLET", "TOUCHPAD", "TOUCHSCREEN", "JOYSTICK", "KEY"})
        EXPECT_EQ(w.udev.find(std::string("ID_INPUT_") + other + "="), std::string::npos) << w.udev;
    EXPECT_NE(w.input.find("\"type\": \"pointer\""), std::string::npos) << w.input;
    // Configurable, so off: libinput offers the choice only to a device with
    // a middle button of its own, and emulates one by default otherwise.
    EXPECT_NE(w.input.find("\"middle_emulation\": \"disabled\""), std::string::npos) << w.input;

    // Moves and buttons in one list, in order: a press held back by middle
    // button emulation would come after the move of its own pass. Then the
    // buttons alone (code, then 1 pressed or 0 released), and the wheel.
    std::vector<Step> told;
    std::vector<int> buttons;
    std::vector<std::pair<int, int>> wheel; // discrete, value
    for (size_t i = 0; i < seen.size(); i++) {
        const auto &[kind, a, b] = seen[i];
        if (kind == "button")
            buttons.insert(buttons.end(), {a, b});
        if (kind == "discrete" && i + 1 < seen.size() && std::get<0>(seen[i + 1]) == "axis")
            wheel.emplace_back(a, std::get<1>(seen[i + 1]));
        // From the program's first placement on.
        if ((kind == "move" || kind == "button") &&
            (!told.empty() || seen[i] == Step("move", 1919, 0)))
            told.push_back(seen[i]);
    }
    EXPECT_EQ(told, Steps(sent));

    Points at = Moves(seen, Point(1919, 0));
    // The trace stops at (788, 201); the D-pad takes the pointer 169 left and
    // 6 down from there (tests/scenarios/dpad.script, mirrored).
    ASSERT_FALSE(at.empty());
    EXPECT_NE(std::find(at.begin(), at.end(), Point(788, 201)), at.end());
    EXPECT_EQ(at.back(), Point(788 - 169, 201 + 6));

    EXPECT_EQ(buttons, (std::vector<int>{BTN_LEFT, 1, BTN_LEFT, 0, BTN_RIGHT, 1, BTN_RIGHT, 0,
                                         BTN_RIGHT, 1, BTN_LEFT, 1, BTN_RIGHT, 0, BTN_LEFT, 0}))
        << "B left, A right, both together left and right: never middle";

    // The wheel as sway 1.7 hands it on: whole notches only (a discrete step
    // and 15 scroll units; negative is up), which libinput makes of the
    // hi-res axis each time it adds up to 120 (a step of the remote's is
    // 64). One held for three reports: a notch up; Two for three: a notch
    // down; Plus twice: a notch down; Minus twice: a notch up.
    EXPECT_EQ(wheel, (std::vector<std::pair<int, int>>{{-1, -15}, {1, 15}, {1, 15}, {-1, -15}}));
    EXPECT_EQ(Values(sent, EV_REL, REL_WHEEL_HI_RES),
              (std::vector<int>{64, 64, 64, -64, -64, -64, -64, -64, 64, 64}));
}

// b. Two outputs of 960 x 240 side by side, the second right of the first
// or left of it (at negative x): the program's box is 1920 wide either way,
// and its placements past 960 land on the output at the right, 960 less,
// in the client that owns that output.
TEST(VmCompositor, TwoOutputsSideBySide) {
    const std::string layouts[][2] = {{"output HEADLESS-2 position 960 0\n", "HEADLESS-2"},
                                      {"output HEADLESS-2 position -960 0\n", "HEADLESS-1"}};
    for (const auto &[config, right] : layouts) {
        SCOPED_TRACE(config);
        Desktop desktop(2, "output HEADLESS-1 mode 960x240 position 0 0\n"
                           "output HEADLESS-2 mode 960x240\n" +
                               config);
        desktop.Msg({"focus", "output", right});
        Watched w;
        w.first = {1919 - 960, 0};
        ASSERT_NO_FATAL_FAILURE(w.Start(desktop, "two", 960, 240, desktop.env, "generic.remote"));
        // The output at the right starts at 960 of the program's box.
        w.ExpectSeen([](const Points &p) { return OnOutput(p, {960, 960, 240}); });
    }
}

// c. One output of 3840 x 480 pixels at scale 2: the program, the pointer
// and the client all count in its 1920 x 240 logical pixels.
TEST(VmCompositor, ScaledOutputCountsLogicalPixels) {
    Desktop desktop(1, "output HEADLESS-1 mode 3840x480 position 0 0 scale 2\n");
    Watched w;
    ASSERT_NO_FATAL_FAILURE(w.Start(desktop, "scaled", 1920, 240, desktop.env, "generic.remote"));
    w.ExpectSeen();
}

// Whether process pid holds node open, the node there still or removed.
bool HoldsOpen(pid_t pid, const std::string &node) {
    std::string dir = "/proc/" + std::to_string(pid) + "/fd";
    for (const std::string &fd : ListDirectory(dir))
        if (ReadLink(dir + "/" + fd) == node || ReadLink(dir + "/" + fd) == node + " (deleted)")
            return true;
    return false;
}

// The layout changes while the program runs: an output added at the left
// of the first, the first moved to the far left, the rightmost scaled by 2.
// At each change the program makes its pointer anew over the new box; once
// the compositor holds the new node open, the remote glides the cursor
// across both outputs, and each client sees the placements that fall on its
// output, where they fall in the layout; then, B held, the scale set back.
// Outputs of 960 x 480 keep the trace's y (at most 206) on every output, at
// scale 2 too.
TEST(VmCompositor, TheLayoutChangesWhileTheProgramRuns) {
    struct Change {
        std::vector<std::string> msg;
        std::string script; // where the cursor glides to then
        Area outputs[2];    // HEADLESS-1, HEADLESS-2 after the change
    };
    Desktop desktop(1, "mouse_warping none\n"
                       "output HEADLESS-1 mode 960x480 position 0 0\n"
                       "output HEADLESS-2 mode 960x480 position -960 0\n");
    Watched w;
    w.first = {959, 0};
    ASSERT_NO_FATAL_FAILURE(w.Start(desktop, "live", 960, 480, desktop.env, ""));
    const std::string towards788 = "dots 400,400 440,420\njitter 20 20\n";
    // Left on the first output towards 488, then right towards 1988.
    const std::string leftThenRight =
        "dots 500,400 540,420\njitter 3 20\ndots 0,400 40,420\njitter 20 20\n";
    std::vector<std::unique_ptr<EventRecorder>> devices;
    std::string node = w.s.pointerNode;
    w.s.remote.Type("await 12 00 33\nwait 200\n");

    const Change changes[] = {
        {{"create_output"}, towards788, {{960, 960, 480}, {0, 960, 480}}},
        {{"--", "output", "HEADLESS-1", "position", "-1920", "0"},
         leftThenRight,
         {{0, 960, 480}, {960, 960, 480}}},
        {{"output", "HEADLESS-2", "scale", "2"}, towards788, {{0, 960, 480}, {960, 480, 240}}},
    };
    std::vector<std::unique_ptr<Client>> clients; // on HEADLESS-1, HEADLESS-2
    clients.push_back(std::move(w.client));
    auto all = [&](const std::string &kind) {
        std::vector<Step> events;
        for (const auto &c : clients)
            for (const Step &e : c->Events())
                if (std::get<0>(e) == kind)
                    events.push_back(e);
        return events;
    };
    // A change made and the new pointer heard: the compositor holds the new
    // node open (libinput drops what a device sent before it took it), and
    // the old one no more unless a button held keeps it; and, with none
    // held, as sway lets a new device's first tenth of a second or so go
    // unheard after it has opened it, a notch of the wheel, again until a
    // client is told of one.
    auto change = [&](const std::vector<std::string> &msg, bool bHeld) {
        std::string reply = desktop.Msg(msg);
        ASSERT_NE(reply.find("\"success\": true"), std::string::npos) << reply;
        if (clients.size() < 2) {
            desktop.Msg({"focus", "output", "HEADLESS-2"});
            clients.push_back(std::make_unique<Client>(desktop, "live2"));
            ASSERT_TRUE(clients[1]->Configured(960, 480, 30000)) << clients[1]->Out();
        }
        std::string old = node;
        auto taken = [&](const InputNode &n) {
            return n.name == pointerName && n.event != old && HoldsOpen(desktop.sway.pid, n.event);
        };
        ASSERT_TRUE(WaitUntil(
            [&] {
                node = WaitForInputNode(taken, 0).event;
                return !node.empty() && (bHeld || !HoldsOpen(desktop.sway.pid, old));
            },
            20000))
            << "the compositor never took a new pointer\n"
            << w.s.program.Err();
        devices.push_back(std::make_unique<EventRecorder>(node));
        ASSERT_TRUE(devices.back()->Opened());
        if (bHeld)
            return;
        size_t heard = all("discrete").size();
        ASSERT_TRUE(WaitUntil(
            [&] {
                w.s.remote.Type("buttons 00 02\nwait 30\nbuttons 00 00\n");
                return WaitUntil([&] { return all("discrete").size() > heard; }, 500);
            },
            20000))
            << "the compositor never heard the new pointer";
    };

    for (size_t i = 0; i < std::size(changes); i++) {
        const Change &c = changes[i];
        SCOPED_TRACE(c.msg.back());
        ASSERT_NO_FATAL_FAILURE(change(c.msg, false));
        Point at = {AbsoluteAxis(node, ABS_X).value, AbsoluteAxis(node, ABS_Y).value};
        std::vector<size_t> told; // what each client was told before
        for (const auto &c : clients)
            told.push_back(c->Events().size());

        // The lights out, Plus ends the glide with a buzz: every placement
        // has been made, and none comes after it.
        w.s.remote.Type(c.script + "dots\nbuttons 10 00\nwait 300\nbuttons 00 00\nwait 50\n");
        ASSERT_TRUE(WaitUntil(
            [&] {
                std::vector<Bytes> out = w.s.remote.Outputs();
                return std::count(out.begin(), out.end(), Bytes{0x13, 0x05}) ==
                       static_cast<long>(i + 1);
            },
            30000))
            << w.s.program.Err();
        Points placements = Placements(devices.back()->Events(), at);
        for (size_t o = 0; o < clients.size(); o++) {
            SCOPED_TRACE(clients[o]->out);
            Points placed = OnOutput(placements, c.outputs[o]);
            ASSERT_FALSE(placed.empty());
            Points seen;
            WaitUntil(
                [&] {
                    std::vector<Step> events = clients[o]->Events();
                    events.erase(events.begin(), events.begin() + told[o]);
                    seen = Moves(events, placed.front());
                    return seen.size() >= placed.size();
                },
                30000);
            EXPECT_EQ(seen, placed) << clients[o]->Out().substr(0, 6000);
        }
    }

    // B held through a change: the old pointer keeps it down until B is let
    // go, then goes; the new one carries the moves and no button. No client
    // is told of a release meanwhile (sway, busy with its outputs, may take
    // the pointer's focus from the client, which counts as one).
    EventRecorder &old = *devices.back();
    w.s.remote.Type("buttons 00 04\n");
    ASSERT_TRUE(WaitUntil([&] { return !all("button").empty(); }, 20000)) << "B never pressed";
    ASSERT_NO_FATAL_FAILURE(change({"output", "HEADLESS-2", "scale", "1"}, true));
    EventRecorder &now = *devices.back();
    w.s.remote.Type(towards788 + "buttons 00 00\n");
    EXPECT_EQ(old.Wait(20000), 0) << "the old pointer stayed";
    EXPECT_EQ(Values(old.Events(), EV_KEY, BTN_LEFT), (std::vector<int>{1, 0}));
    EXPECT_EQ(Values(now.Events(), EV_KEY, BTN_LEFT), std::vector<int>{});
    EXPECT_FALSE(Placements(now.Events()).empty());
    std::vector<Step> buttons = all("button");
    EXPECT_TRUE(buttons.size() == 1 || (buttons.size() == 2 && std::get<2>(buttons[1]) == 0 &&
                                        std::get<1>(buttons.back()) == BTN_LEFT))
        << clients[0]->Out() << clients[1]->Out();

    w.s.remote.PlayCommands("buttons 00 80\nawait 1a 00\nwait 300\ngone\n");
    EXPECT_EQ(w.s.Finish(), 0) << w.s.program.Err();
}

// d. XWayland in the session, and the program started as sudo leaves it:
// DISPLAY (XWayland's) and SUDO_UID, no WAYLAND_DISPLAY or XDG_RUNTIME_DIR.
// sway's XWayland admits its own user only, so X11 is closed to root
// (Xlib says so on stderr; the program, with uinput to go on with, adds
// nothing). The layout comes from the session's socket in the user's
// runtime folder, and the Wayland client sees the pointer where the
// program placed it.
TEST(VmCompositor, UnderSudoXWaylandIsLeftForUinput) {
    Desktop desktop(1, "output HEADLESS-1 mode 1920x240 position 0 0\nxwayland force\n");
    ASSERT_TRUE(WaitUntil([] { return exists("/tmp/.X11-unix/X0"); }, 60000, 50))
        << desktop.Errors();
    Watched w;
    ASSERT_NO_FATAL_FAILURE(
        w.Start(desktop, "sudo", 1920, 240, {"DISPLAY=:0", "SUDO_UID=1000"}, "generic.remote"));
    std::string err = w.s.program.Err();
    EXPECT_NE(err.find("Authorization required"), std::string::npos) << err;
    EXPECT_EQ(err.find("lumadrifter"), std::string::npos) << err;
    w.ExpectSeen();
}

// ---- weston ----

// weston (DRM backend, software rendering, kiosk shell) as root: Debian's
// weston 10 cannot use seatd, and without a login manager only its direct
// launcher can take the display and the input devices. Two outputs of
// 960 x 240, Virtual-1 and at its right Virtual-2 (the kernel is told that
// this one is connected too: weston ties a device only to a named output
// whose screen is connected); the kiosk shell fills with the client the
// output README's udev rule names in WL_OUTPUT for the program's pointer
// (kept while weston runs), or with no rule ("") Virtual-1.
struct Weston : Compositor {
    Child child; // its log on stderr
    const std::string rule = "/run/udev/rules.d/71-lumadrifter-weston.rules";

    explicit Weston(const std::string &wlOutput) : Compositor(0) {
        mkdir("/run/udev/rules.d", 0755);
        if (!wlOutput.empty())
            WriteFile(rule, "SUBSYSTEM==\"input\", ATTRS{name}==\"Lumadrifter pointer\", "
                            "ENV{WL_OUTPUT}=\"" +
                                wlOutput + "\"\n");
        std::system("udevadm control --reload");
        const std::string mode = "mode=18.00 960 1000 1100 1200 240 243 246 250 +hsync +vsync\n";
        std::string ini = "[core]\nidle-time=0\n";
        for (const std::string name : {"Virtual-1", "Virtual-2"})
            ini += "[output]\nname=" + name + "\n" + mode +
                   (name == (wlOutput.empty() ? "Virtual-1" : wlOutput) ? "app-ids=wev\n" : "");
        WriteFile(runtime + "/weston.ini", ini);
        child.Start({"/usr/bin/weston", "--backend=drm-backend.so", "--use-pixman", "--tty=2",
                     "--shell=kiosk-shell.so", "--continue-without-input",
                     "--config=" + runtime + "/weston.ini", "--socket=wayland-0"},
                    {"XDG_RUNTIME_DIR=" + runtime}, "weston");
        if (WaitUntil([this] { return exists(runtime + "/wayland-0"); }, 60000))
            env = {"XDG_RUNTIME_DIR=" + runtime, "WAYLAND_DISPLAY=wayland-0"};
    }
    ~Weston() {
        unlink(rule.c_str());
        std::system("udevadm control --reload");
    }
    std::string Errors() const { return child.Err(); }
    // What weston's log says of the program's pointer once it has taken it.
    std::string PointerInput(int ms) {
        return AwaitText([this] { return child.Err(); },
                         "configuring device \"Lumadrifter pointer\"", "", ms);
    }
};

// g. weston maps an absolute pointer onto one output: its first, or the one
// a udev rule names in WL_OUTPUT. The program still spans both outputs
// (1920 x 240), so its whole field lands squeezed onto that one output
// (960 x 240), in the client that fills it: every placement, x halved.
TEST(VmCompositor, WestonMapsThePointerOntoOneOutput) {
    // The VM's virtual display, two connectors (Virtual-1 and Virtual-2),
    // its driver loaded with no console drawn on it.
    ASSERT_FALSE(LoadModules("gpu.modules").empty());
    ASSERT_TRUE(WaitUntil([] { return exists("/dev/dri/card0"); }, 10000));
    std::system("udevadm settle");
    for (const std::string output : {"", "Virtual-2"}) {
        SCOPED_TRACE("WL_OUTPUT=" + output);
        Weston weston(output);
        Watched w;
        w.first = {1919 / 2, 0};
        ASSERT_NO_FATAL_FAILURE(w.Start(weston, "weston", 960, 240, weston.env, "generic.remote"));
        if (!output.empty()) {
            EXPECT_NE(w.udev.find("\nWL_OUTPUT=" + output + "\n"), std::string::npos) << w.udev;
        }
        w.ExpectSeen([](Points on) {
            for (Point &p : on)
                p.first = p.first * 960 / 1920;
            return on;
        });
    }
}

} // namespace
