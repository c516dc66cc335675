#include "tests/scripted_hid.h"

#include "remote/tiny_hid_dll.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <mutex>
#include <sstream>
#include <thread>

#ifndef _WIN32
#include "tiny_hid_dll/node_lock.h"

#include <fcntl.h>
#include <unistd.h>
#endif

namespace {

struct Step {
    enum Kind { Report, Silent, Gone, Await } kind;
    int delayMs;
    int count;
    std::vector<uint8_t> bytes;
};

struct Remote {
    std::mutex lock;
    bool noDevice = false;
    bool gone = false;
    std::deque<Step> steps;
    std::vector<HidEvent> events;
    int readersWaiting = 0;
    int reportsUnderWay = 0; // taken by a read that has not returned them yet
    size_t servedAt = 0;     // the events up to the last report returned
    int64_t anchorNs = 0;    // what the next report's delay counts from
    bool closed = false;     // a read that ends after the close reads nothing
    bool fromEnvironment = false;
    FILE *log = nullptr;
    int node = -1; // the file standing for the remote's node, while open
};

Remote remote;

int64_t Nanoseconds(std::chrono::steady_clock::time_point t) {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(t.time_since_epoch()).count();
}

// The monotonic clock, the same the program's counter reads.
int64_t Now() {
    return Nanoseconds(std::chrono::steady_clock::now());
}

const char *KindName(HidEvent::Kind kind) {
    static const char *const names[] = {"open", "write", "read", "close"};
    return names[kind];
}

// Called with the lock held. The log's time is the monotonic clock in
// microseconds, as every process on the machine reads it, so a log line can
// be set beside what another process saw at the same moment.
void Record(HidEvent::Kind kind, int length, const uint8_t *bytes, int count) {
#ifdef _WIN32
    int thread = 0;
#else
    int thread = gettid();
#endif
    HidEvent event{kind, Now(), length, std::vector<uint8_t>(bytes, bytes + count), thread};

    if (remote.log) {
        std::fprintf(remote.log, "%s %lld %d", KindName(kind),
                     static_cast<long long>(event.ns / 1000), length);
        for (uint8_t b : event.bytes)
            std::fprintf(remote.log, " %02x", b);
        std::fputc('\n', remote.log);
        std::fflush(remote.log);
    }
    remote.events.push_back(std::move(event));
}

// Counts a read in progress; a reader thread killed inside the read still
// unwinds through this, so the count shows whether it is really gone.
struct WaitingReader {
    WaitingReader() {
        std::lock_guard<std::mutex> hold(remote.lock);
        remote.readersWaiting++;
    }
    ~WaitingReader() {
        std::lock_guard<std::mutex> hold(remote.lock);
        remote.readersWaiting--;
    }
};

// Sleeps are cancellation points, so a reader thread blocked here can be
// ended; no lock is held while waiting.
void WaitFor(int ms) {
    if (ms > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

void WaitUntil(int64_t ns) {
    int64_t left = ns - Now();
    if (left > 0)
        std::this_thread::sleep_for(std::chrono::nanoseconds(left));
}

[[noreturn]] void WaitForEver() {
    for (;;)
        std::this_thread::sleep_for(std::chrono::hours(1));
}

// Called with the lock held. An awaited write counts once every report
// before the step has been returned, and only when written after the last;
// the report after the step is timed from that write.
bool AwaitedWriteSeen(const std::vector<uint8_t> &start) {
    if (remote.reportsUnderWay != 0)
        return false;
    for (size_t i = remote.servedAt; i < remote.events.size(); i++) {
        const HidEvent &e = remote.events[i];
        if (e.kind == HidEvent::Write && e.bytes.size() >= start.size() &&
            std::equal(start.begin(), start.end(), e.bytes.begin())) {
            remote.anchorNs = e.ns;
            return true;
        }
    }
    return false;
}

bool ParseBytes(std::istringstream &in, std::vector<uint8_t> *bytes) {
    std::string word;
    while (in >> word) {
        char *end;
        unsigned long b = std::strtoul(word.c_str(), &end, 16);
        if (*end != '\0' || b > 0xFF)
            return false;
        bytes->push_back(static_cast<uint8_t>(b));
    }
    return !bytes->empty() && bytes->size() <= 256;
}

bool ParseLine(const std::string &line) {
    std::istringstream in(line.substr(0, line.find('#')));
    std::string verb;
    if (!(in >> verb))
        return true;

    Step step{Step::Report, 0, 1, {}};
    if (verb == "device") {
        std::string what;
        remote.noDevice = (in >> what) && what == "none";
        return remote.noDevice;
    } else if (verb == "silent") {
        step.kind = Step::Silent;
    } else if (verb == "await") {
        step.kind = Step::Await;
        if (!ParseBytes(in, &step.bytes))
            return false;
    } else if (verb == "gone") {
        step.kind = Step::Gone;
        in >> step.delayMs;
    } else if (verb == "report") {
        if (!(in >> step.delayMs) || !ParseBytes(in, &step.bytes))
            return false;
    } else if (verb == "repeat") {
        if (!(in >> step.count >> step.delayMs) || step.count < 1 || !ParseBytes(in, &step.bytes))
            return false;
    } else {
        return false;
    }
    remote.steps.push_back(std::move(step));
    return true;
}

bool ParseScript(const std::string &text, std::string *error) {
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        if (!ParseLine(line)) {
            if (error)
                *error = line;
            return false;
        }
    }
    return true;
}

// The end-to-end build: script and log named by the environment. A script
// that cannot be read is a broken test, said loudly.
void LoadFromEnvironment() {
    if (remote.fromEnvironment)
        return;
    remote.fromEnvironment = true;

    if (const char *path = std::getenv("LUMADRIFTER_TEST_HID_LOG"))
        remote.log = std::fopen(path, "w");
    const char *path = std::getenv("LUMADRIFTER_TEST_HID_SCRIPT");
    if (!path)
        return;
    std::string text, error;
    if (FILE *f = std::fopen(path, "r")) {
        char chunk[4096];
        size_t n;
        while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0)
            text.append(chunk, n);
        std::fclose(f);
    } else {
        std::fprintf(stderr, "scripted remote: cannot read %s\n", path);
        std::abort();
    }
    if (!ParseScript(text, &error)) {
        std::fprintf(stderr, "scripted remote: bad script line: %s\n", error.c_str());
        std::abort();
    }
}

} // namespace

void ResetScriptedRemote() {
    std::lock_guard<std::mutex> hold(remote.lock);
    remote.noDevice = false;
    remote.gone = false;
    remote.steps.clear();
    remote.events.clear();
    remote.reportsUnderWay = 0;
    remote.servedAt = 0;
    remote.anchorNs = Now();
    remote.closed = false;
}

void ScriptNoDevice() {
    std::lock_guard<std::mutex> hold(remote.lock);
    remote.noDevice = true;
}

void ScriptReport(int delayMs, const std::vector<uint8_t> &bytes, int count) {
    std::lock_guard<std::mutex> hold(remote.lock);
    remote.steps.push_back({Step::Report, delayMs, count, bytes});
}

void ScriptSilent() {
    std::lock_guard<std::mutex> hold(remote.lock);
    remote.steps.push_back({Step::Silent, 0, 1, {}});
}

void ScriptGone(int delayMs) {
    std::lock_guard<std::mutex> hold(remote.lock);
    remote.steps.push_back({Step::Gone, delayMs, 1, {}});
}

bool LoadScriptText(const std::string &text, std::string *error) {
    std::lock_guard<std::mutex> hold(remote.lock);
    return ParseScript(text, error);
}

std::vector<HidEvent> ScriptedEvents() {
    std::lock_guard<std::mutex> hold(remote.lock);
    return remote.events;
}

std::vector<HidEvent> ScriptedEvents(HidEvent::Kind kind) {
    std::vector<HidEvent> all = ScriptedEvents(), some;
    for (HidEvent &e : all)
        if (e.kind == kind)
            some.push_back(std::move(e));
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
    int handle = remote.noDevice ? -1 : 7;
    remote.anchorNs = Now();
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
    Record(HidEvent::Open, handle, ids, 4);
    return handle;
}

int WriteReport(int, unsigned char *report, unsigned int *) {
    std::lock_guard<std::mutex> hold(remote.lock);
    int length = OutputReportLength(report[0]);
    Record(HidEvent::Write, length, report, 22);
    return length;
}

int ReadReport(int, unsigned char *report, unsigned int *) {
    WaitingReader waiting;
    std::unique_lock<std::mutex> hold(remote.lock);
    // Polled, so that no lock is held while waiting.
    while (!remote.gone && !remote.steps.empty() && remote.steps.front().kind == Step::Await) {
        if (AwaitedWriteSeen(remote.steps.front().bytes)) {
            remote.steps.pop_front();
            continue;
        }
        hold.unlock();
        WaitFor(1);
        hold.lock();
    }
    if (remote.gone) {
        Record(HidEvent::Read, -1, report, 0);
        return -1;
    }
    if (remote.steps.empty() || remote.steps.front().kind == Step::Silent) {
        hold.unlock();
        WaitForEver();
    }

    // A repeated report stays in front until its count runs out; the remote
    // going away stays there for good.
    Step step = remote.steps.front();
    if (step.kind == Step::Report && --remote.steps.front().count == 0)
        remote.steps.pop_front();
    if (step.kind == Step::Report)
        remote.reportsUnderWay++;
    int64_t due = remote.anchorNs + int64_t(step.delayMs) * 1000000;
    hold.unlock();

    WaitUntil(due);

    hold.lock();
    // As a real device's read fails once its handle is closed: the report
    // stays unread, and the log ends with the close.
    if (remote.closed) {
        remote.reportsUnderWay -= step.kind == Step::Report;
        return -1;
    }
    if (step.kind == Step::Gone) {
        remote.gone = true;
        Record(HidEvent::Read, -1, report, 0);
        return -1;
    }
    int length = static_cast<int>(step.bytes.size());
    for (int i = 0; i < length; i++)
        report[i] = step.bytes[static_cast<size_t>(i)];
    Record(HidEvent::Read, length, report, length);
    remote.reportsUnderWay--;
    remote.servedAt = remote.events.size();
    remote.anchorNs = remote.events.back().ns;
    return length;
}

void CloseHidHandle(int handle) {
    std::lock_guard<std::mutex> hold(remote.lock);
#ifndef _WIN32
    if (remote.node != -1)
        close(remote.node);
    remote.node = -1;
#endif
    Record(HidEvent::Close, handle, nullptr, 0);
    remote.closed = true;
}

} // extern "C"
