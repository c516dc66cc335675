// A scripted remote behind the HID library's four calls.
//
// Reads are served from a script, in order, whichever thread calls: each
// report its own delay after the one before it was returned (the first after
// the open, the one after an await after the awaited write), so that the
// remote keeps its own time and a late read finds the report waiting, as
// with a real remote's queue. When the script
// runs out the remote is silent (reads block for ever) unless it ends with
// the remote going away (reads return -1). Every open, write, read and close
// is recorded with a timestamp.
//
// The same source builds the replacement libtiny_hid_dll used by the
// end-to-end tests: there the script is read from the file named by
// LUMADRIFTER_TEST_HID_SCRIPT and the record is written, a line an event, to
// the file named by LUMADRIFTER_TEST_HID_LOG:
//   <open|write|read|close> <us> <length> <hex bytes>
// where <us> is the monotonic clock in microseconds (not counted from the
// start), so that a line can be compared with another process's clock.
//
// With LUMADRIFTER_TEST_HID_NODE naming a file, OpenHidHandle locks that
// file as the real library locks the remote's node, and finds nothing when
// another program holds it: programs given the same file share one remote.
//
// Script text, one step a line ('#' starts a comment):
//   device none                    OpenHidHandle finds nothing
//   report <ms> <hex bytes>        after <ms>, a read returns these bytes
//   repeat <n> <ms> <hex bytes>    the same report <n> times, <ms> apart
//   silent                         reads from here on never return
//   await <hex bytes>              reads wait until the program writes a report
//                                  that begins with these bytes, after the
//                                  report before this step was read (a remote
//                                  silent until a mode is selected again)
//   gone <ms>                      after <ms>, reads return -1 from here on
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
void ScriptNoDevice();
void ScriptReport(int delayMs, const std::vector<uint8_t> &bytes, int count = 1);
void ScriptSilent();
void ScriptGone(int delayMs);
// Appends the steps of a script text; false, with the line, when one is wrong.
bool LoadScriptText(const std::string &text, std::string *error);

std::vector<HidEvent> ScriptedEvents();
std::vector<HidEvent> ScriptedEvents(HidEvent::Kind kind);

// Reads that have been called and not yet returned.
int ScriptedReadersWaiting();
