// virtual-remote: a remote that exists only in the kernel's HID layer.
//
// Creates the device through /dev/uhid, answers the host's output reports as
// a real remote does, and plays a scenario: buttons, accelerometer and IR
// dots over time. Lets one try the program, or test it, with no remote.
//
// The log (--log) has a line for each happening, written at once:
//   <what> <µs since start> [<length> <bytes in hex>]
// what: output (a report the host sent), input (a report the remote sent),
// start and stop (the kernel took or let go of the device), open and close
// (someone opened it or the last one closed it), gone (the end).
#include "tools/virtual-remote/device.h"
#include "tools/virtual-remote/protocol.h"
#include "tools/virtual-remote/script.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <poll.h>
#include <string>
#include <sys/signalfd.h>
#include <unistd.h>
#include <vector>

namespace {

const char usage[] =
    "usage: virtual-remote [--product 0306|0330] [--log FILE] [SCRIPT]\n"
    "Creates a virtual remote through /dev/uhid and plays SCRIPT, or the\n"
    "commands typed on standard input when there is none (or it is \"-\").\n"
    "Commands: buttons B1 B2 | accel X Y Z | dots X,Y ... | jitter N MS | status |\n"
    "          status ahead | wait MS | await HEX... | await open | hold | release |\n"
    "          gone | absent\n"
    "--log FILE writes every report in and out, with its time in microseconds.\n"
    "The remote stays until \"gone\", Ctrl+C or SIGTERM.\n";

// In continuous mode a remote sends a hundred reports a second.
const int64_t tickUs = 10'000;

struct Session {
    int device = -1;
    int signals = -1;
    VirtualRemote remote;
    FILE *log = nullptr;
    int64_t startUs = 0;
    bool started = false; // the kernel has taken the device
    int opened = 0;

    ScriptPlayer player;
    bool readingInput = false; // commands still come from standard input
    std::string pending;       // a command line not yet complete
    int64_t nextTickUs = 0;
};

Session session;

int64_t NowUs() {
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<int64_t>(t.tv_sec) * 1'000'000 + t.tv_nsec / 1000;
}

// One line a happening: what, when (µs since start), length, bytes.
void Log(const char *what, const uint8_t *bytes, int length) {
    if (!session.log)
        return;
    std::fprintf(session.log, "%s %lld", what, static_cast<long long>(NowUs() - session.startUs));
    if (bytes) {
        std::fprintf(session.log, " %d", length);
        for (int i = 0; i < length; i++)
            std::fprintf(session.log, " %02x", bytes[i]);
    }
    std::fputc('\n', session.log);
    std::fflush(session.log);
}

void Send(const InputReport &report) {
    if (report.length == 0 || !session.started || HoldReport(session.player, report))
        return;
    if (!SendInputReport(session.device, report)) {
        int error = errno;
        std::fprintf(stderr, "virtual-remote: the kernel refused input report %02x: %s\n",
                     report.bytes[0], std::strerror(error));
        return;
    }
    Log("input", report.bytes, report.length);
}

void SendDataReport(bool tick) {
    if (session.started)
        Send(NextDataReport(session.remote, tick));
}

void TakeOutput(const uint8_t *report, int length) {
    Log("output", report, length);
    TakeHostReport(session.player, {&session.remote, session.opened, Send}, report, length);
}

void HandleDeviceEvent(const DeviceEvent &event) {
    switch (event.kind) {
    case DeviceEvent::Start:
        session.started = true;
        Log("start", nullptr, 0);
        break;
    case DeviceEvent::Stop:
        session.started = false;
        Log("stop", nullptr, 0);
        break;
    case DeviceEvent::Open:
        session.opened++;
        Log("open", nullptr, 0);
        break;
    case DeviceEvent::Close:
        session.opened--;
        Log("close", nullptr, 0);
        break;
    case DeviceEvent::Output:
        TakeOutput(event.report, event.length);
        break;
    case DeviceEvent::Other:
        break;
    }
}

// Adds one command; a line not understood is told with where it came from.
bool AddCommandLine(std::string line, const char *where) {
    ScriptStep step;
    if (!line.empty() && line.back() == '\n')
        line.pop_back();
    if (!ParseScriptLine(line, &step)) {
        std::fprintf(stderr, "virtual-remote: %s: not understood: %s\n", where, line.c_str());
        return false;
    }
    if (step.kind != ScriptStep::Nothing)
        session.player.steps.push_back(step);
    return true;
}

bool LoadScript(const char *path) {
    FILE *file = std::fopen(path, "r");
    if (!file) {
        int error = errno;
        std::fprintf(stderr, "virtual-remote: cannot read %s: %s\n", path, std::strerror(error));
        return false;
    }
    char line[1024], where[1100];
    bool good = true;
    for (int number = 1; std::fgets(line, sizeof line, file); number++) {
        std::snprintf(where, sizeof where, "%s:%d", path, number);
        good = AddCommandLine(line, where) && good;
    }
    std::fclose(file);
    return good;
}

// Commands typed while the remote runs; a bad one is reported and skipped.
void ReadCommands() {
    char chunk[512];
    ssize_t n = read(STDIN_FILENO, chunk, sizeof chunk);
    if (n <= 0) {
        session.readingInput = false;
        return;
    }
    session.pending.append(chunk, static_cast<size_t>(n));
    size_t end;
    while ((end = session.pending.find('\n')) != std::string::npos) {
        AddCommandLine(session.pending.substr(0, end), "input");
        session.pending.erase(0, end + 1);
    }
}

// How long poll may sleep: until a wait ends, the next continuous report,
// or an await's limit; for ever when nothing is due. `now` must be the time
// the steps were run at: a wait that has ended since would otherwise be
// taken for none, and poll would sleep through it.
int PollTimeoutMs(int64_t now) {
    int64_t until = NextStepDueUs(session.player, now);
    if (session.remote.continuous && session.remote.reporting &&
        (until < 0 || session.nextTickUs < until))
        until = session.nextTickUs;
    if (until < 0)
        return -1;
    return until <= now ? 0 : static_cast<int>((until - now + 999) / 1000);
}

int Run() {
    for (;;) {
        int64_t now = NowUs();
        // The scenario starts once the kernel has taken the device.
        StepResult result = StepWaiting;
        if (session.started)
            result = RunDueSteps(session.player, {&session.remote, session.opened, Send}, now);
        if (result == StepGone || result == StepFailed) {
            Log("gone", nullptr, 0);
            return result == StepGone ? 0 : 3;
        }
        if (now >= session.nextTickUs) {
            SendDataReport(true);
            session.nextTickUs = now + tickUs;
        }

        pollfd fds[3] = {{session.device, POLLIN, 0},
                         {session.signals, POLLIN, 0},
                         {session.readingInput ? STDIN_FILENO : -1, POLLIN, 0}};
        if (poll(fds, 3, PollTimeoutMs(now)) < 0 && errno != EINTR) {
            std::perror("virtual-remote: poll");
            return 1;
        }
        if (fds[1].revents) {
            Log("gone", nullptr, 0);
            return 0;
        }
        if (fds[0].revents) {
            DeviceEvent event;
            if (!ReadDeviceEvent(session.device, &event)) {
                std::perror("virtual-remote: reading /dev/uhid");
                return 1;
            }
            HandleDeviceEvent(event);
        }
        if (fds[2].revents)
            ReadCommands();
    }
}

bool ParseArguments(int argc, char **argv, int *product, const char **logPath,
                    const char **scriptPath) {
    for (int i = 1; i < argc; i++) {
        std::string arg = argv[i];
        if (arg == "--product" && i + 1 < argc) {
            *product = static_cast<int>(std::strtol(argv[++i], nullptr, 16));
            if (*product != 0x0306 && *product != 0x0330)
                return false;
        } else if (arg == "--log" && i + 1 < argc) {
            *logPath = argv[++i];
        } else if (arg.size() > 1 && arg[0] == '-') {
            return false;
        } else if (!*scriptPath) {
            *scriptPath = argv[i];
        } else {
            return false;
        }
    }
    return true;
}

} // namespace

int main(int argc, char **argv) {
    int product = 0x0306;
    const char *logPath = nullptr;
    const char *scriptPath = nullptr;
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::fputs(usage, stdout);
        return 0;
    }
    if (!ParseArguments(argc, argv, &product, &logPath, &scriptPath)) {
        std::fputs(usage, stderr);
        return 2;
    }

    session.startUs = NowUs();
    ResetVirtualRemote(session.remote);
    session.readingInput = !scriptPath || std::strcmp(scriptPath, "-") == 0;
    if (!session.readingInput && !LoadScript(scriptPath))
        return 2;
    if (logPath && !(session.log = std::fopen(logPath, "w"))) {
        int error = errno;
        std::fprintf(stderr, "virtual-remote: cannot write %s: %s\n", logPath,
                     std::strerror(error));
        return 2;
    }

    // The signals that end the run are taken through a descriptor, so the
    // device is always destroyed on the way out.
    sigset_t ending;
    sigemptyset(&ending);
    sigaddset(&ending, SIGINT);
    sigaddset(&ending, SIGTERM);
    sigaddset(&ending, SIGHUP);
    sigprocmask(SIG_BLOCK, &ending, nullptr);
    session.signals = signalfd(-1, &ending, SFD_CLOEXEC);

    session.device = CreateRemoteDevice(product);
    if (session.device < 0)
        return 1;
    if (session.readingInput && isatty(STDIN_FILENO))
        std::fputs(usage, stderr);

    int code = Run();
    DestroyRemoteDevice(session.device);
    if (session.log)
        std::fclose(session.log);
    return code;
}
