// The virtual remote's scenario language: what the person holding the
// remote does, over time. One step a line; '#' starts a comment.
//
//   buttons <b1> <b2>      hold these buttons (hex, as the data reports carry
//                          them: b1 0x01 left 0x02 right 0x04 down 0x08 up
//                          0x10 Plus; b2 0x01 Two 0x02 One 0x04 B 0x08 A
//                          0x10 Minus 0x80 Home); "buttons 00 00" lets go
//   accel <x> <y> <z>      the accelerometer's bytes (hex)
//   dots [<x>,<y> | -]...  up to four dots the camera sees, in camera pixels
//                          (x 0..1023, y 0..767); "-" or a missing one is not
//                          seen, so "dots" alone hides them all
//   jitter <n> <ms>        the shake of a hand: n data reports, each followed
//                          by ms, the accelerometer's X toggling its lowest
//                          bit each time (none in a mode without it)
//   status                 a status report on its own, as when something is
//                          plugged into the remote
//   status ahead           the same, sent at once even while "hold" keeps
//                          reports: it goes out ahead of those kept (the
//                          answers to the host included), so that whoever
//                          reads next reads it first
//   wait <ms>              let time pass
//   await <hex bytes>      wait until the host has sent an output report that
//                          starts with these bytes (each report counts once)
//   await open             wait until someone has the device open
//   hold                   keep every report the remote would send from now
//                          on (answers included), in order, until "release"
//   release                send what was kept, and from then on at once
//   gone                   the remote goes away: the device is destroyed
//   absent                 there is no remote: the scripted HID library's
//                          open finds nothing; the virtual remote goes at once
//
// A "hold" never released makes a silent remote: it answers nothing.
#pragma once

#include "tools/virtual-remote/protocol.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct ScriptStep {
    enum Kind {
        Nothing,
        Buttons,
        Accel,
        Dots,
        Jitter,
        Status,
        Wait,
        Await,
        AwaitOpen,
        Hold,
        Release,
        Gone,
        Absent
    } kind;
    int count; // Jitter: reports; Await: bytes to match; Status: 1 when ahead
    int ms;    // Wait; Jitter: the time between reports
    uint8_t bytes[22];
    CameraDot dots[4];
};

// One line of a script. A blank or comment line gives a Nothing step. False
// when the line is not understood.
bool ParseScriptLine(const std::string &line, ScriptStep *step);

// Whether an output report starts with the bytes an Await step waits for.
bool OutputMatches(const ScriptStep &step, const uint8_t *report, int length);

// Where a scenario stands while it plays.
struct ScriptPlayer {
    std::vector<ScriptStep> steps;
    size_t next = 0;
    int64_t resumeUs = 0; // the end of a wait, or the next jitter report
    int jitterLeft = 0;
    int64_t awaitSinceUs = -1;
    std::vector<std::vector<uint8_t>> outputs; // every output report received
    size_t unmatched = 0;                      // the first one no await has taken
    bool holding = false;                      // between "hold" and "release"
    std::vector<InputReport> held;             // what waits for the release
};

// Keeps a report the remote would send while the player holds; false when
// it is to go out now.
bool HoldReport(ScriptPlayer &player, const InputReport &report);

enum StepResult { StepDone, StepWaiting, StepGone, StepFailed };

// What the steps act on: the remote's state, whether someone has the device
// open, and how an input report goes out.
struct ScriptTarget {
    VirtualRemote *remote;
    int opened;
    void (*send)(const InputReport &report);
};

// Runs every step due at `now` (µs). StepWaiting while steps are left or
// more may be typed, StepGone at "gone", StepFailed when an await gave up
// (told on stderr).
StepResult RunDueSteps(ScriptPlayer &player, const ScriptTarget &target, int64_t now);

// An output report from the host: kept for the awaits, answered as the
// remote answers it, then the data report its change makes, if any.
void TakeHostReport(ScriptPlayer &player, const ScriptTarget &target, const uint8_t *report,
                    int length);

// When the player next needs to run (µs): the end of a wait or an await's
// limit; -1 when nothing is due.
int64_t NextStepDueUs(const ScriptPlayer &player, int64_t now);
