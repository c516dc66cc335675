#include "tests/remote_log.h"
#include "tests/expected_reports.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <sstream>

std::vector<LogLine> ParseLog(const std::string &text) {
    std::vector<LogLine> log;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        std::istringstream words(line);
        LogLine l;
        words >> l.kind >> l.us >> l.length;
        for (std::string byte; words >> byte;)
            l.bytes.push_back(static_cast<uint8_t>(std::strtoul(byte.c_str(), nullptr, 16)));
        log.push_back(l);
    }
    return log;
}

std::vector<LogLine> OfKind(const std::vector<LogLine> &log, const std::string &kind) {
    std::vector<LogLine> some;
    for (const LogLine &l : log)
        if (l.kind == kind)
            some.push_back(l);
    return some;
}

std::vector<Bytes> Reports(const std::vector<LogLine> &log, const std::string &kind) {
    std::vector<Bytes> reports;
    for (const LogLine &l : OfKind(log, kind)) {
        long length =
            l.length < 0 ? long(l.bytes.size()) : std::min<long>(l.length, l.bytes.size());
        reports.emplace_back(l.bytes.begin(), l.bytes.begin() + length);
    }
    return reports;
}

std::vector<Bytes> Meaningful(std::vector<Bytes> reports) {
    for (Bytes &r : reports)
        if (r.size() == 22 && r[0] == 0x16)
            r.resize(6 + std::min<size_t>(r[5], 16));
    return reports;
}

std::string Hex(const Bytes &bytes) {
    std::string text;
    char b[4];
    for (uint8_t byte : bytes) {
        std::snprintf(b, sizeof b, text.empty() ? "%02x" : " %02x", byte);
        text += b;
    }
    return text;
}

// Output report 0x12 [1] flags [2] mode; 0x11 [1] LEDs.
static bool IsWrite(const LogLine &l, uint8_t id, uint8_t at, uint8_t value) {
    return l.kind == "write" && l.bytes.size() > at && l.bytes[0] == id && l.bytes[at] == value;
}

ProbeOutcome ReadProbeOutcome(const std::vector<LogLine> &log) {
    bool modeSet = false;
    for (const LogLine &l : log) {
        modeSet = modeSet || IsWrite(l, 0x12, 2, 0x31);
        if (!modeSet && l.kind == "read")
            return ProbeOutcome::None;
        if (modeSet && l.kind == "write" && !l.bytes.empty() && l.bytes[0] == 0x11)
            return ProbeOutcome::Answered;
        if (modeSet && l.kind == "close")
            return ProbeOutcome::Failed;
    }
    return ProbeOutcome::Undecided;
}

std::string LateForTheProbe(const std::vector<LogLine> &log, bool failed, bool watched) {
    if (!failed && ReadProbeOutcome(log) != ProbeOutcome::Failed)
        return "";
    const std::string late = "the machine was late for the probe: ";
    int64_t modeUs = -1;
    bool ranInTime = false;
    for (const LogLine &l : log) {
        if (modeUs < 0 && IsWrite(l, 0x12, 2, 0x31))
            modeUs = l.us;
        std::string ms = std::to_string((l.us - modeUs) / 1000);
        // A data report whose accelerometer X, [3], is not 0: the answer.
        bool answer = l.bytes.size() > 3 && l.bytes[0] >= 0x31 && l.bytes[3] != 0;
        if (modeUs >= 0 && l.kind == "read" && l.length > 0) {
            if (l.us - modeUs >= 100000)
                return late + "the reader's first read came " + ms + " ms after mode 0x31";
            // The answer, handed over in time, and still not counted before
            // the window closed.
            return answer ? late + "its answer, read " + ms +
                                " ms after mode 0x31, was not counted before the window closed"
                          : "";
        }
        // The answer was due in the window, and the reader, waiting for it,
        // had not woken to take it when the program gave up.
        if (modeUs >= 0 && l.kind == "waiting" && answer)
            return late + "its answer was due " + ms +
                   " ms after mode 0x31 and still waited for the reader at the close";
        // No read at all, and a thread started with the reader ran late too,
        // or not before the close: the machine ran neither in the window.
        if (modeUs >= 0 && l.kind == "scheduled" && l.length >= 100000)
            return late + "the reader never read, and a thread started with it first ran " +
                   std::to_string(l.length / 1000) + " ms after mode 0x31";
        // Or the machine kept that thread from waking in the window: it kept
        // the reader too.
        if (modeUs >= 0 && l.kind == "stalled")
            return late +
                   "the reader never read, and a thread started with it was kept from "
                   "waking for " +
                   std::to_string(l.length / 1000) + " ms";
        ranInTime = ranInTime || l.kind == "scheduled";
        if (modeUs >= 0 && l.kind == "close" && watched && !ranInTime)
            return late +
                   "the reader never read, and a thread started with it had not run at "
                   "the close, " +
                   ms + " ms after mode 0x31";
    }
    return "";
}

Moment RemoteGone(const std::vector<LogLine> &log) {
    for (const LogLine &l : OfKind(log, "read"))
        if (l.length < 0)
            return {"the remote went", l.us};
    return {"the remote went", -1};
}

// An input report: [0] id (0x30 and up)  [1] buttons1  [2] buttons2, Home 0x80
Moment HomeRead(const std::vector<LogLine> &log) {
    for (const LogLine &l : OfKind(log, "read"))
        if (l.bytes.size() >= 3 && l.bytes[0] >= 0x30 && (l.bytes[2] & 0x80))
            return {"the Home report was read", l.us};
    return {"the Home report was read", -1};
}

// The last three writes (named when they are the quiet state), whether the
// close came last, and the time from the moment to the close. A register
// write (0x16) is shown as far as its size byte [5] reaches.
std::string RemoteEnd(const std::vector<LogLine> &log, Moment since) {
    std::vector<Bytes> written = Meaningful(Reports(log, "write"));
    std::vector<Bytes> last(written.end() - std::min<long>(3, long(written.size())), written.end());
    std::string text = "last writes";
    if (last == expectedQuiet)
        text = "quiet state";
    else
        for (const Bytes &r : last)
            text += " [" + Hex(r) + "]";
    if (log.empty() || log.back().kind != "close")
        return "still open, " + text;
    text += " then close";
    if (since.us >= 0)
        text += ", " + std::to_string(log.back().us - since.us) + " us after " + since.what;
    return text;
}

std::string WayOutLine(const std::string &way, const std::string &exitCode,
                       const std::string &buttonsDown, const std::string &remote,
                       const std::string &terminal) {
    return "way out: " + way + " | " + (exitCode.empty() ? "no exit" : "exit " + exitCode) +
           " | buttons down after: " + buttonsDown + " | remote: " + remote +
           " | terminal: " + terminal;
}
