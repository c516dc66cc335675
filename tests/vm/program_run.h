// The real program against the virtual remote inside the VM, as the guest
// tests run it: the remote playing a script, the program started as a user
// would, and the program's virtual mouse recorded from its evdev node.
#pragma once

#include "tests/expected_reports.h"
#include "tests/vm/guest_support.h"

#include <gtest/gtest.h>

#include <memory>

// The virtual remote, playing a script that the test hands it when ready:
// commands typed (Type) are played as they come.
struct RemoteRun : Child {
    std::string log;

    void Start(const std::string &name, const std::string &product = "0306") {
        log = "/tmp/" + name + ".remote.log";
        Child::Start({"/vm/virtual-remote", "--product", product, "--log", log}, {},
                     "/tmp/" + name + ".remote.out", "/tmp/" + name + ".remote.err", true);
    }
    // The last commands: the remote ends with them.
    void PlayCommands(const std::string &commands) {
        Type(commands);
        CloseInput();
    }
    // A script of /vm, played to its end.
    void Play(const std::string &script) { PlayCommands(ReadFile("/vm/" + script)); }
    std::vector<Bytes> Outputs() const { return Reports(ReadRemoteLog(log), "output"); }
    // Whether the remote has received this output report, waiting up to ms
    // and looking every stepMs.
    bool Received(const Bytes &report, int ms = 0, int stepMs = 10) const {
        return WaitUntil(
            [&] {
                std::vector<Bytes> outputs = Outputs();
                return std::find(outputs.begin(), outputs.end(), report) != outputs.end();
            },
            ms, stepMs);
    }
};

// Mode 0x33, the last report of the start-up: the program is running.
inline const Bytes trackingMode = ExpectedStartUp().back();

inline const char pointerName[] = "Lumadrifter pointer";
// What the program says first on stderr in the VM outside a desktop: no
// session describes the screens, and no display has a mode.
inline const std::string consoleLayoutGuess =
    "lumadrifter: the compositor did not describe its screens (no Wayland socket found); the "
    "mouse covers 1920x1080, as no display's mode could be read.\n";

// The program as a user starts it, its mouse through uinput (the VM has no
// X display) and its HID library beside it.
struct ProgramRun : Child {
    uid_t user = 0;
    std::vector<std::string> env; // a session's variables, besides the library's folder

    void Start(const std::string &name) {
        std::vector<std::string> all = env;
        all.push_back("LD_LIBRARY_PATH=/vm/lib");
        Child::Start({"/vm/lumadrifter"}, all, "/tmp/" + name + ".out", "/tmp/" + name + ".err",
                     true, user);
    }
};

// One run of the program against the virtual remote. The pointer's node
// appears as the program starts, well before its first move (the probe and
// the camera set-up come first), so it is recorded from the start.
struct Session {
    RemoteRun remote;
    ProgramRun program;
    std::string name;
    std::string hidraw;
    std::unique_ptr<EventRecorder> pointer;
    std::string pointerNode;

    // The remote appears and a driver takes it.
    void StartRemote(const std::string &testName, const std::string &product = "0306") {
        name = testName;
        remote.Start(name, product);
        hidraw = FindHidraw(0x057E, std::stoi(product, nullptr, 16), 10000);
        ASSERT_NE(hidraw, "") << remote.Err();
    }
    // The program starts and its pointer is watched; then the remote plays
    // the script, if one is given (else the caller has it play later).
    void StartProgram(const std::string &script) {
        program.Start(name);
        pointerNode =
            WaitForInputNode([](const InputNode &n) { return n.name == pointerName; }, 10000).event;
        ASSERT_NE(pointerNode, "") << program.Err();
        pointer = std::make_unique<EventRecorder>(pointerNode);
        ASSERT_TRUE(pointer->Opened());
        if (!script.empty())
            remote.Play(script);
    }
    void Start(const std::string &testName, const std::string &script) {
        ASSERT_NO_FATAL_FAILURE(StartRemote(testName));
        ASSERT_NO_FATAL_FAILURE(StartProgram(script));
    }
    // The program's exit code; the remote has finished its script.
    int Finish() {
        int code = program.Wait(30000);
        EXPECT_EQ(remote.Wait(30000), 0) << ReadFile(remote.log);
        return code;
    }
};

// generic.remote's IR trace: the program's x positions from the corner
// where the acknowledgements put the cursor, (1919, 0) on a layout 1920
// wide, a sixth of the way to (488, 206) and then to (788, 206) a report; y
// stays clamped at 0 all along.
inline const std::vector<int> genericTraceX = {1919, 1788, 1621, 1482, 1366, 1269, 1188};
