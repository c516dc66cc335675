// The remote's log, as both the scripted HID library (tests/scripted_hid.cpp)
// and the virtual remote (tools/virtual-remote) write it, a line a happening:
//   <kind> <µs> [<length> <bytes in hex>]
// The scripted library's kinds are open, write, read, waiting, scheduled
// and stalled (its own thread started with mode 0x31 first ran, or was kept
// from waking in the probe's window; length the delay in µs) and close (an open's length is the
// handle it gave); the virtual remote's are output, input, start, stop, open, close and gone.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

using Bytes = std::vector<uint8_t>;

struct LogLine {
    std::string kind;
    int64_t us = 0;
    int length = 0;
    Bytes bytes;
};

std::vector<LogLine> ParseLog(const std::string &text);
std::vector<LogLine> OfKind(const std::vector<LogLine> &log, const std::string &kind);
// The reports of one kind, in order, each cut to its length: the scripted
// library logs a write's whole buffer, the remote takes only that many.
std::vector<Bytes> Reports(const std::vector<LogLine> &log, const std::string &kind);
// Register writes (0x16) cut to the bytes their size byte [5] reaches:
// the rest of the block means nothing to the remote.
std::vector<Bytes> Meaningful(std::vector<Bytes> reports);
// The bytes in hex, one space between: "12 00 33".
std::string Hex(const Bytes &bytes);

// How the probe went, as the scripted library's log tells it: undecided
// while neither LED 1 (the probe passed) nor the close (it failed) has been
// written after mode 0x31; none for a program that reads before it selects
// that mode (a program with no probe, such as the benchmarks' floor).
enum class ProbeOutcome { Undecided, Answered, Failed, None };
ProbeOutcome ReadProbeOutcome(const std::vector<LogLine> &log);
// Non-empty when the machine, not the program, missed the probe's 100 ms
// window: the probe failed, yet the reader's first read came after the
// window with a report waiting for it, or brought the answer within the
// window and the program, held up, had not counted it when the window
// closed, or was still asleep in its read at the close with the answer due
// (the scripted library's "waiting" line). A probe that never reads, or a
// fault that fails every run, fails all the same: a case runs at most three
// times.
// failed: the caller saw the probe fail before the log did (on a terminal
// the message waits for Enter with the handle still open).
// watched: the log is from a library that runs its watching thread (Linux;
// not the Windows build), so its missing first run says something.
std::string LateForTheProbe(const std::vector<LogLine> &log, bool failed = false,
                            bool watched = true);

// The table of ways out, one line a way out:
//   way out: <way> | exit <code> (or no exit) | buttons down after:
//   <buttons or none> | remote: <last writes> then close, <N> us after
//   <moment> (or still open) | terminal: <what became of it>
// The end-to-end suite prints it for each way out (tests/e2e/harness.h),
// the Wine suite through tests/wine/read_log.cpp.
//
// What a way out is timed from: a moment the test saw (a signal sent, a key
// typed) or one in the remote's log. us is -1 when it was not seen.
struct Moment {
    const char *what;
    int64_t us;
};
// The log's first failed read (the remote gone), and its first report with
// Home down.
Moment RemoteGone(const std::vector<LogLine> &log);
Moment HomeRead(const std::vector<LogLine> &log);
// The remote's part of the line: its last writes, the close, the time to it.
std::string RemoteEnd(const std::vector<LogLine> &log, Moment since);
// The whole line; exitCode empty when the program has not ended.
std::string WayOutLine(const std::string &way, const std::string &exitCode,
                       const std::string &buttonsDown, const std::string &remote,
                       const std::string &terminal);
