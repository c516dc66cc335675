#include "tests/scripted_hid.h"

#include "remote/tiny_hid_dll.h"
#include "tools/virtual-remote/script.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <fstream>
#include <mutex>
#include <sstream>
#include <thread>

#ifndef _WIN32
#include "tiny_hid_dll/node_lock.h"

#include <fcntl.h>
#include <unistd.h>
#endif

namespace {

// An input report and when the remote made it; length -1: the remote gone.
struct Queued {
    int64_t ns;
    InputReport report;
};

// What a reset makes anew.
struct Session {
    VirtualRemote device;
    ScriptPlayer player;
    bool playing = false; // steps loaded and not yet gone: the emulation answers writes
    bool opened = false;
    int64_t clockUs = 0;  // how far the player has played
    int64_t queuedNs = 0; // when the last report ScriptReport queued is due
    std::deque<Queued> queue;
    bool gone = false; // a read found the remote gone: so does every read after
    std::vector<HidEvent> events;
    int readersWaiting = 0;
    bool closed = false; // a read that ends after the close reads nothing
};

struct Remote : Session {
    std::mutex lock;
    int generation = 0; // a read from before a reset never returns
    bool fromEnvironment = false;
    FILE *log = nullptr;
    int node = -1; // the file standing for the remote's node, while open
};

// Never destroyed: the library's own thread may outlive the program's main.
Remote &remote = *new Remote;

// The monotonic clock, the same the program's counter reads.
int64_t Now() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Called with the lock held: a line of the log, if there is one. Its time is
// the monotonic clock in microseconds, as every process on the machine reads
// it, so a log line can be set beside what another process saw at the same
// moment.
void Log(const char *what, int64_t ns, int length, const uint8_t *bytes, int count) {
    if (!remote.log)
        return;
    std::fprintf(remote.log, "%s %lld %d", what, static_cast<long long>(ns / 1000), length);
    for (int i = 0; i < count; i++)
        std::fprintf(remote.log, " %02x", bytes[i]);
    std::fputc('\n', remote.log);
    std::fflush(remote.log);
}

// Called with the lock held.
void Record(HidEvent::Kind kind, int length, const uint8_t *bytes, int count) {
    static const char *const names[] = {"open", "write", "read", "close"};
#ifdef _WIN32
    int thread = 0;
#else
    int thread = gettid();
#endif
    remote.events.push_back(
        {kind, Now(), length, std::vector<uint8_t>(bytes, bytes + count), thread});
    Log(names[kind], remote.events.back().ns, length, bytes, count);
}

// What the player acts on. It sends a report, with the lock held, by
// queueing it at the time it was made.
ScriptTarget Target() {
    return {&remote.device, remote.opened, [](const InputReport &report) {
                if (report.length > 0)
                    remote.queue.push_back({remote.clockUs * 1000, report});
            }};
}

// Called with the lock held. Plays every step due by `now`, each at its own
// time, so the reports carry the times a remote would have made them.
void PlayUntil(int64_t now) {
    while (remote.playing) {
        StepResult result = RunDueSteps(remote.player, Target(), remote.clockUs);
        if (result == StepGone || result == StepFailed) {
            remote.playing = false;
            remote.queue.push_back({remote.clockUs * 1000, InputReport{{}, -1}});
            return;
        }
        int64_t due = NextStepDueUs(remote.player, remote.clockUs);
        if (due < 0 || due * 1000 > now) {
            remote.clockUs = std::max(remote.clockUs, now / 1000);
            return;
        }
        remote.clockUs = due;
    }
}

// A reader ended inside its read (Linux), or still waiting at the close
// (Windows, where an ended thread unwinds nothing), while a report was due
// for it was held up by the machine, not by the remote: the log says so, in
// a line of its own, so that a run that missed the probe's window that way
// can be told from a program that never read. Called with the lock held.
void NoteReportWaiting() {
    if (!remote.log)
        return;
    PlayUntil(Now());
    const Queued *due = remote.queue.empty() ? nullptr : &remote.queue.front();
    if (due && due->ns <= Now() && due->report.length > 0)
        Log("waiting", due->ns, due->report.length, due->report.bytes, due->report.length);
}

#ifndef _WIN32
// What the machine did to the library's own thread in the probe's window:
// its first run, and a wake 10 ms late or more; logged until the log ends
// with the close. False once it has. It touches nothing else of the remote's:
// a reader being ended may be playing the script at the same time.
bool NoteMachine(const char *what, int64_t ns, int64_t lateNs, int64_t worthNs) {
    std::lock_guard<std::mutex> hold(remote.lock);
    if (remote.closed)
        return false;
    if (lateNs >= worthNs)
        Log(what, ns, static_cast<int>(lateNs / 1000), nullptr, 0);
    return true;
}
#endif

// Counts a read in progress; a reader thread killed inside the read still
// unwinds through this, so the count shows whether it is really gone.
// One from before a reset counts no more.
struct WaitingReader {
    int generation;
    bool returned = false;
    WaitingReader() {
        std::lock_guard<std::mutex> hold(remote.lock);
        generation = remote.generation;
        remote.readersWaiting++;
    }
    ~WaitingReader() {
        std::lock_guard<std::mutex> hold(remote.lock);
        if (!returned && generation == remote.generation)
            NoteReportWaiting();
        remote.readersWaiting -= generation == remote.generation;
    }
};

bool ParseScript(const std::string &text, std::string *error) {
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        ScriptStep step;
        if (!ParseScriptLine(line, &step)) {
            if (error)
                *error = line;
            return false;
        }
        if (step.kind != ScriptStep::Nothing)
            remote.player.steps.push_back(step);
    }
    remote.playing = true;
    return true;
}

// The end-to-end build: script and log named by the environment. A script
// that cannot be read is a broken test, said loudly.
void LoadFromEnvironment() {
    if (remote.fromEnvironment)
        return;
    remote.fromEnvironment = true;
    // A remote just switched on, as the unit tests' reset makes it.
    ResetVirtualRemote(remote.device);

    if (const char *path = std::getenv("LUMADRIFTER_TEST_HID_LOG"))
        remote.log = std::fopen(path, "w");
    const char *path = std::getenv("LUMADRIFTER_TEST_HID_SCRIPT");
    if (!path)
        return;
    std::ifstream file(path);
    std::stringstream text;
    text << file.rdbuf();
    std::string error;
    if (!file || !ParseScript(text.str(), &error)) {
        std::fprintf(stderr, "scripted remote: %s%s\n", file ? "bad script line: " : "cannot read ",
                     file ? error.c_str() : path);
        std::abort();
    }
}

} // namespace

void ResetScriptedRemote() {
    std::lock_guard<std::mutex> hold(remote.lock);
    static_cast<Session &>(remote) = Session{};
    ResetVirtualRemote(remote.device);
    remote.clockUs = Now() / 1000;
    remote.queuedNs = Now();
    remote.generation++;
}

bool LoadScriptText(const std::string &text, std::string *error) {
    std::lock_guard<std::mutex> hold(remote.lock);
    return ParseScript(text, error);
}

void ScriptReport(int delayMs, const std::vector<uint8_t> &bytes, int count) {
    std::lock_guard<std::mutex> hold(remote.lock);
    InputReport report{{}, static_cast<int>(bytes.size())};
    std::copy(bytes.begin(), bytes.begin() + std::min<size_t>(bytes.size(), 22), report.bytes);
    for (int i = 0; i < count; i++) {
        remote.queuedNs += int64_t(delayMs) * 1000000;
        remote.queue.push_back({remote.queuedNs, report});
    }
}

void ScriptGone(int delayMs) {
    std::lock_guard<std::mutex> hold(remote.lock);
    remote.queuedNs += int64_t(delayMs) * 1000000;
    remote.queue.push_back({remote.queuedNs, InputReport{{}, -1}});
}

std::vector<HidEvent> ScriptedEvents() {
    std::lock_guard<std::mutex> hold(remote.lock);
    return remote.events;
}

std::vector<HidEvent> ScriptedEvents(HidEvent::Kind kind) {
    std::vector<HidEvent> some = ScriptedEvents();
    std::erase_if(some, [kind](const HidEvent &e) { return e.kind != kind; });
    return some;
}

int ScriptedReadersWaiting() {
    std::lock_guard<std::mutex> hold(remote.lock);
    return remote.readersWaiting;
}

extern "C" {

int OpenHidHandle(int vendorId, int productId) {
    std::lock_guard<std::mutex> hold(remote.lock);
    LoadFromEnvironment();

    uint8_t ids[4] = {uint8_t(vendorId >> 8), uint8_t(vendorId), uint8_t(productId >> 8),
                      uint8_t(productId)};
    const std::vector<ScriptStep> &steps = remote.player.steps;
    int handle = !steps.empty() && steps.front().kind == ScriptStep::Absent ? -1 : 7;
    // The script, and the reports queued by hand, count from the open.
    int64_t now = Now();
    for (Queued &q : remote.queue)
        q.ns += now - remote.queuedNs;
    remote.queuedNs = now;
    remote.clockUs = now / 1000;
    remote.opened = handle != -1;
    remote.closed = false;
#ifndef _WIN32
    // Programs given the same LUMADRIFTER_TEST_HID_NODE share one remote:
    // the file stands for its node and is locked as the real library locks
    // the node.
    const char *node = std::getenv("LUMADRIFTER_TEST_HID_NODE");
    if (handle != -1 && node) {
        remote.node = open(node, O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (remote.node != -1 && !LockRemoteNode(remote.node, node)) {
            close(remote.node);
            remote.node = -1;
            handle = -1;
        }
    }
#endif
    if (handle == -1)
        remote.playing = false;
    Record(HidEvent::Open, handle, ids, 4);
    return handle;
}

int WriteReport(int, unsigned char *report, unsigned int *) {
    std::lock_guard<std::mutex> hold(remote.lock);
    int64_t now = Now();
    PlayUntil(now);
    int length = OutputReportLength(report[0]);
    Record(HidEvent::Write, length, report, 22);
    // Beside the probe's reader, which the program starts now, a thread of
    // the library's own logs when it first ran, and then, through the
    // probe's window, each time the machine kept it from waking for 10 ms
    // or more: a failed probe with no read at all was the machine's
    // lateness, not the program's, only then (or if this thread had not run
    // by the close). Not on Windows: there the reader is ended wherever it
    // is, and a lock it was waiting for then stays broken; a second thread
    // taking the remote's lock every millisecond would make that likelier.
#ifndef _WIN32
    if (remote.log && report[0] == 0x12 && report[2] == 0x31) {
        std::thread([asked = now] {
            int64_t last = Now();
            bool open = NoteMachine("scheduled", last, last - asked, 0);
            while (open && last - asked < 100000000) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
                int64_t woke = Now();
                open = NoteMachine("stalled", woke, woke - last - 1000000, 10000000);
                last = woke;
            }
        }).detach();
    }
#endif
    if (remote.playing) {
        TakeHostReport(remote.player, Target(), report, length);
        PlayUntil(now);
    }
    return length;
}

// Polled, so that no lock is held while waiting; the sleeps are
// cancellation points, so a reader thread blocked here can be ended. It
// wakes for the next report queued and the script's next step; what only
// another thread can bring (an answer to its write, a report queued by
// hand) is looked for at once, then ever less often, up to 100 ms apart, so
// that a remote that stays silent costs next to nothing.
int ReadReport(int, unsigned char *report, unsigned int *) {
    WaitingReader waiting;
    std::unique_lock<std::mutex> hold(remote.lock);
    int generation = remote.generation;
    int64_t pollNs = 1000000;
    for (;;) {
        while (generation != remote.generation) {
            hold.unlock();
            std::this_thread::sleep_for(std::chrono::hours(1));
            hold.lock();
        }
        // As a real device's read fails once its handle is closed: the log
        // ends with the close.
        if (remote.closed) {
            waiting.returned = true;
            return -1;
        }
        int64_t now = Now();
        PlayUntil(now);
        // The report due, or -1 once the remote is gone.
        bool ready = !remote.gone && !remote.queue.empty() && remote.queue.front().ns <= now;
        if (ready || remote.gone) {
            int length = ready ? remote.queue.front().report.length : -1;
            if (ready) {
                std::copy_n(remote.queue.front().report.bytes, std::max(length, 0), report);
                remote.queue.pop_front();
            }
            remote.gone = length < 0;
            Record(HidEvent::Read, length, report, std::max(length, 0));
            waiting.returned = true;
            return length;
        }
        int64_t wake = now + pollNs;
        pollNs = std::min<int64_t>(pollNs * 2, 100000000);
        if (!remote.queue.empty())
            wake = std::min(wake, remote.queue.front().ns);
        int64_t due = remote.playing ? NextStepDueUs(remote.player, remote.clockUs) : -1;
        if (due >= 0)
            wake = std::min(wake, due * 1000);
        hold.unlock();
        std::this_thread::sleep_for(std::chrono::nanoseconds(std::max<int64_t>(wake - now, 0)));
        hold.lock();
    }
}

void CloseHidHandle(int handle) {
    std::lock_guard<std::mutex> hold(remote.lock);
    if (remote.readersWaiting > 0)
        NoteReportWaiting();
#ifndef _WIN32
    if (remote.node != -1)
        close(remote.node);
    remote.node = -1;
#endif
    Record(HidEvent::Close, handle, nullptr, 0);
    remote.closed = true;
}

} // extern "C"
