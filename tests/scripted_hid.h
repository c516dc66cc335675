// A scripted remote behind the HID library's four calls.
//
// It plays the virtual remote's scenario language (tools/virtual-remote/
// script.h), through the same parser and player, and answers the program's
// output reports through the same protocol emulation (protocol.h): a mode
// written makes its first data report at once, a register write is
// acknowledged, a status report stops the data until a mode is chosen again.
// The script starts at the open. The remote keeps its own time: each report
// is made when its step is due and waits in a queue, as a real remote's
// does, so a late read finds it waiting. When the script runs out the remote
// stays (reads block); after "gone", or an await that gave up, reads return
// -1; with "absent" OpenHidHandle finds nothing. Every open, write, read and
// close is recorded with a timestamp.
//
// The same source builds the replacement libtiny_hid_dll used by the
// end-to-end tests and the Wine suite: there the script is read from the
// file named by LUMADRIFTER_TEST_HID_SCRIPT and the record is written, a line
// an event, to the file named by LUMADRIFTER_TEST_HID_LOG:
//   <open|write|read|close> <us> <length> <hex bytes>
// where <us> is the monotonic clock in microseconds (not counted from the
// start), so that a line can be compared with another process's clock. Just
// before the close, a line "waiting <us due> <length> <hex bytes>" tells of
// a report that was due while a reader still waited for it (a reader the
// machine held up).
//
// With LUMADRIFTER_TEST_HID_NODE naming a file, OpenHidHandle locks that
// file as the real library locks the remote's node, and finds nothing when
// another program holds it: programs given the same file share one remote.
//
// The unit tests may also queue input reports of their own (ScriptReport),
// for ids the emulation never makes; with no script loaded, nothing answers
// the program's writes.
#pragma once

#include "tools/virtual-remote/protocol.h"

#include <cstdint>
#include <string>
#include <vector>

struct HidEvent {
    enum Kind { Open, Write, Read, Close } kind;
    int64_t ns;                 // monotonic clock, as the program's counter
    int length;                 // bytes sent or read; -1 for a read of a remote gone
    std::vector<uint8_t> bytes; // a write: its first 22 buffer bytes; a read: the report
    int thread;                 // the calling thread's id on Linux (gettid), else 0
};

void ResetScriptedRemote();
// Appends the steps of a script text; false, with the line, when one is wrong.
bool LoadScriptText(const std::string &text, std::string *error);

// Input reports as the remote sends them: each <delayMs> after the one
// queued before it (the first after the open); then the remote gone.
void ScriptReport(int delayMs, const std::vector<uint8_t> &bytes, int count = 1);
void ScriptGone(int delayMs);

std::vector<HidEvent> ScriptedEvents();
std::vector<HidEvent> ScriptedEvents(HidEvent::Kind kind);

// Reads that have been called and not yet returned.
int ScriptedReadersWaiting();
