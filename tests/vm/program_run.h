// What the tests inside the VM share: processes started and stopped by
// PID, device nodes found through sysfs, an evdev node recorded, the
// virtual remote's log; and the real program against the virtual remote as
// the guest tests run it: the remote playing a script, the program started
// as a user would, and the program's virtual mouse recorded from its evdev
// node.
#pragma once

#include "tests/expected_reports.h"
#include "tests/remote_log.h"
#include "tests/test_kit.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <linux/input.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

inline std::string ReadFile(const std::string &path) {
    std::ifstream in(path);
    std::stringstream all;
    all << in.rdbuf();
    return all.str();
}

inline void WriteFile(const std::string &path, const std::string &text) {
    std::ofstream(path) << text;
}

// The names in a folder.
inline std::vector<std::string> ListDirectory(const std::string &path) {
    std::vector<std::string> names;
    std::error_code none; // a folder not there is empty
    for (const auto &entry : std::filesystem::directory_iterator(path, none))
        names.push_back(entry.path().filename());
    return names;
}

// A process the test started, its stdout and stderr into /tmp/<name>.out
// and /tmp/<name>.err; stopped (StopProcess) when it goes out of scope if
// it still runs.
struct Child {
    pid_t pid = -1;
    int input = -1;       // write end of its stdin, a pipe; -1 once closed
    std::string out, err; // where its stdout and stderr go

    ~Child() { Stop(); }

    // Starts argv[0] with these extra environment entries, its stdin a pipe
    // Type and CloseInput reach. A user id other than 0 runs it as that user.
    void Start(const std::vector<std::string> &argv, const std::vector<std::string> &env,
               const std::string &name, uid_t user = 0) {
        out = "/tmp/" + name + ".out";
        err = "/tmp/" + name + ".err";
        int pipeFds[2] = {-1, -1};
        if (pipe2(pipeFds, O_CLOEXEC) != 0)
            return;
        pid = fork();
        if (pid == 0) {
            dup2(pipeFds[0], 0);
            dup2(open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 1);
            dup2(open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 2);
            for (const std::string &e : env)
                putenv(const_cast<char *>(e.c_str()));
            if (user != 0 && (setgid(user) != 0 || setuid(user) != 0))
                _exit(126);
            std::vector<char *> args;
            for (const std::string &a : argv)
                args.push_back(const_cast<char *>(a.c_str()));
            args.push_back(nullptr);
            execv(args[0], args.data());
            std::perror(args[0]);
            _exit(127);
        }
        close(pipeFds[0]);
        input = pipeFds[1];
    }
    // The exit code (128 + signal when killed by one), or -1 if it has not
    // ended within ms; it is then stopped.
    int Wait(int ms) {
        int status = 0;
        if (pid <= 0 || !WaitUntil([&] { return waitpid(pid, &status, WNOHANG) == pid; }, ms, 5)) {
            Stop();
            return -1;
        }
        pid = -1;
        CloseInput();
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    void Stop() {
        StopProcess(pid);
        pid = -1;
        CloseInput();
    }
    void Type(const std::string &text) {
        if (input >= 0 && write(input, text.data(), text.size()) < 0)
            std::perror("writing to a child");
    }
    void CloseInput() {
        close(input); // nothing for -1
        input = -1;
    }
    std::string Out() const { return ReadFile(out); }
    std::string Err() const { return ReadFile(err); }
};

// What a command printed on stdout, within 20 s; its stderr goes to
// /tmp/command.err.
inline std::string CommandOutput(const std::vector<std::string> &argv,
                                 const std::vector<std::string> &env = {}, uid_t user = 0) {
    Child child;
    child.Start(argv, env, "command", user);
    child.Wait(20000);
    return child.Out();
}

// What udev holds of a device node, a NAME=value line each.
inline std::string UdevProperties(const std::string &node) {
    return CommandOutput({"/usr/bin/udevadm", "info", "--query=property", node});
}

// Loads the modules /vm/<list> names, a line each with its parameters, up to
// the first that fails; the names of those loaded, in order.
inline std::vector<std::string> LoadModules(const std::string &list) {
    std::vector<std::string> loaded;
    std::istringstream lines(ReadFile("/vm/" + list));
    for (std::string line; std::getline(lines, line) && !line.empty();) {
        if (std::system(("insmod /vm/modules/" + line).c_str()) != 0)
            break;
        loaded.push_back(line.substr(0, line.find(".ko")));
    }
    return loaded;
}

// A symbolic link's target, "" for no link.
inline std::filesystem::path ReadLink(const std::string &link) {
    std::error_code none;
    return std::filesystem::read_symlink(link, none);
}

// An input device as sysfs shows it.
struct InputNode {
    std::string event; // /dev/input/eventN
    std::string name;
    int vendor = 0;
    std::string hidParent; // the HID device it hangs under, "" for none
    bool keys = false;     // it reports keys or buttons
};

inline std::vector<InputNode> ListInputNodes() {
    std::vector<InputNode> nodes;
    for (const std::string &name : ListDirectory("/sys/class/input")) {
        std::string dir = "/sys/class/input/" + name + "/device/";
        if (name.compare(0, 5, "event") != 0)
            continue;
        std::string deviceName = ReadFile(dir + "name"), keys = ReadFile(dir + "capabilities/key");
        deviceName.erase(deviceName.find_last_not_of('\n') + 1);
        nodes.push_back(
            {"/dev/input/" + name, deviceName,
             static_cast<int>(std::strtol(ReadFile(dir + "id/vendor").c_str(), nullptr, 16)),
             ReadLink(dir + "device").filename(), !keys.empty() && keys != "0\n"});
    }
    return nodes;
}

// The first input device that matches and has its node, waiting up to ms
// and looking every stepMs; an empty one if none.
inline InputNode WaitForInputNode(const std::function<bool(const InputNode &)> &match, int ms,
                                  int stepMs = 10) {
    InputNode found;
    WaitUntil(
        [&] {
            for (const InputNode &node : ListInputNodes())
                if (found.event.empty() && match(node) && access(node.event.c_str(), F_OK) == 0)
                    found = node;
            return !found.event.empty();
        },
        ms, stepMs);
    return found;
}

// Whether an input device whose name starts with prefix is there.
inline bool InputNodeExists(const std::string &prefix) {
    std::vector<InputNode> nodes = ListInputNodes();
    return std::any_of(nodes.begin(), nodes.end(), [&](const InputNode &node) {
        return node.name.compare(0, prefix.size(), prefix) == 0;
    });
}

// Records every event of an evdev node from construction on, in a process
// of its own that writes them to a file: until Stop, or until the device
// goes away (the process then ends with 0).
struct EventRecorder : Child {
    explicit EventRecorder(const std::string &node) {
        static int made = 0;
        out = "/tmp/recorded-" + std::to_string(made++);
        int fd = open(node.c_str(), O_RDONLY | O_CLOEXEC);
        int file = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd >= 0 && (pid = fork()) == 0) {
            dup2(fd, 0);
            dup2(file, 1);
            close_range(3, ~0U, 0); // the test's pipes are not its to hold
            input_event batch[64];
            for (ssize_t n; (n = read(0, batch, sizeof batch)) > 0;)
                if (write(1, batch, n) != n)
                    _exit(1);
            _exit(errno == ENODEV ? 0 : 1);
        }
        close(fd);
        close(file);
    }
    bool Opened() const { return pid > 0; }
    std::vector<input_event> Events() const {
        std::string raw = Out(); // whole events only: one may be half written
        auto *first = reinterpret_cast<const input_event *>(raw.data());
        return std::vector<input_event>(first, first + raw.size() / sizeof(input_event));
    }
    // Stops recording; what it recorded.
    std::vector<input_event> Stop() {
        Child::Stop();
        return Events();
    }
};

// Events of one type and code, values in order.
inline std::vector<int> Values(const std::vector<input_event> &events, int type, int code) {
    std::vector<int> values;
    for (const input_event &e : events)
        if (e.type == type && e.code == code)
            values.push_back(e.value);
    return values;
}

// The events between two SYN_REPORTs, one frame a list, SYN_REPORT left out.
inline std::vector<std::vector<input_event>> Frames(const std::vector<input_event> &events) {
    std::vector<std::vector<input_event>> frames(1);
    for (const input_event &e : events)
        if (e.type == EV_SYN && e.code == SYN_REPORT)
            frames.emplace_back();
        else
            frames.back().push_back(e);
    frames.pop_back();
    return frames;
}

// The range an evdev node gives an absolute axis, and its value now.
inline input_absinfo AbsoluteAxis(const std::string &node, int code) {
    input_absinfo axis{};
    int fd = open(node.c_str(), O_RDONLY | O_CLOEXEC);
    ioctl(fd, EVIOCGABS(code), &axis); // nothing, no node
    close(fd);
    return axis;
}

// The first n of a list, or all of it when it is shorter.
template <typename T>
std::vector<T> Head(const std::vector<T> &list, size_t n) {
    return std::vector<T>(list.begin(), list.begin() + static_cast<long>(std::min(n, list.size())));
}

// The virtual remote's log (tests/remote_log.h).
inline std::vector<LogLine> ReadRemoteLog(const std::string &path) {
    return ParseLog(ReadFile(path));
}

// The virtual remote, playing a script that the test hands it when ready:
// commands typed (Type) are played as they come.
struct RemoteRun : Child {
    std::string log;

    void Start(const std::string &name, const std::string &product = "0306") {
        log = "/tmp/" + name + ".remote.log";
        Child::Start({"/vm/virtual-remote", "--product", product, "--log", log}, {},
                     name + ".remote");
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
        Child::Start({"/vm/lumadrifter"}, all, name, user);
    }
};

// One run of the program against the virtual remote. The pointer's node
// appears as the program starts, well before its first move (the probe and
// the camera set-up come first), so it is recorded from the start.
struct Session {
    RemoteRun remote;
    ProgramRun program;
    std::string name, hidraw, pointerNode;
    std::unique_ptr<EventRecorder> pointer;

    // The remote appears and a driver takes it: its /dev/hidrawN, whose
    // uevent holds HID_ID=<bus>:<vendor>:<product>, 8 hex digits each.
    void StartRemote(const std::string &testName, const std::string &product = "0306") {
        name = testName;
        remote.Start(name, product);
        const std::string id = ":0000057E:0000" + product + "\n";
        WaitUntil(
            [&] {
                for (const std::string &node : ListDirectory("/sys/class/hidraw"))
                    if (ReadFile("/sys/class/hidraw/" + node + "/device/uevent").find(id) !=
                            std::string::npos &&
                        access(("/dev/" + node).c_str(), F_OK) == 0)
                        hidraw = "/dev/" + node;
                return !hidraw.empty();
            },
            10000);
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
