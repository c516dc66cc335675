// The platform the unit tests, the fuzzers and the pass benchmark link in
// place of the system's: it records what the program asks of the system,
// and hooks let a case look at each call or step the clock. Threads are the
// real ones; the counter and sleep are the real ones unless a case says
// otherwise.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct MouseEventRecord {
    unsigned flags;
    int data;
    int64_t ns; // counter at the event
};

struct CursorRecord {
    int x, y;             // asked for
    int placedX, placedY; // where the cursor went, clamped to the screen
};

struct KeyRecord {
    int code, fromPoll; // fromPoll: waiting from this key test on (1 = the first)
};

struct RecordingPlatform {
    bool startFails = false;
    int starts = 0, stops = 0;
    int screenWidth = 1920, screenHeight = 1080;
    int cursorX = 0, cursorY = 0;
    std::vector<MouseEventRecord> mouseEvents;
    std::vector<CursorRecord> placements;
    std::vector<std::string> messages;
    std::vector<int64_t> messageNs;
    int advisedAfterMessages = -1; // messages shown before the advice; -1: no advice
    std::string console;
    std::vector<KeyRecord> keys; // fed by the test, read in order
    int keyPolls = 0, keysRead = 0;
    void (*leave)() = nullptr; // what the program hands OnEndRequest

    // Off, nothing is kept that takes memory (events, placements, messages,
    // console text): the hooks alone see the calls, and a pass allocates
    // nothing.
    bool keep = true;
    std::function<void(unsigned flags, int data)> onMouseEvent;    // before each mouse event
    std::function<void(int x, int y)> onPlaceCursor, onReadCursor; // placed: after the clamp
    std::function<void(const char *text)> onMessage, onConsoleText;
    // The counter's reads and ticks per second; unset, the monotonic clock
    // in nanoseconds.
    std::function<int64_t()> counter;
    int64_t counterFrequency = 1000000000;
    int frequencyReads = 0;
};

extern RecordingPlatform recording;

void ResetRecordingPlatform();
void FeedKey(int code, int fromPoll = 1);

// From now until the next reset, every sleep of a thread other than the
// test's own lasts ms. Cut to 0, the probe's reader wakes from its sleep
// before the window has closed and reads once more, as it does when the main
// thread is held up at the window's end.
void CutThreadSleeps(int ms);
