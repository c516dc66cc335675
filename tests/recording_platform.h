// The tests' platform: records what the program asks of the system. The
// counter, sleep and threads are the real ones.
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
    int code;
    int fromPoll; // waiting from this key test on (1 = the first)
};

struct RecordingPlatform {
    bool startFails = false;
    int starts = 0, stops = 0;
    int screenWidth = 1920, screenHeight = 1080;
    int cursorX = 0, cursorY = 0;
    std::vector<MouseEventRecord> mouseEvents;
    std::vector<CursorRecord> placements;
    int cursorReads = 0;
    std::vector<std::string> messages;
    std::vector<int64_t> messageNs;
    int advisedAfterMessages = -1; // messages shown before the advice; -1: no advice
    std::string console;
    std::vector<KeyRecord> keys; // fed by the test, read in order
    int keyPolls = 0;
    int keysRead = 0;
    void (*leave)() = nullptr;          // what the program hands OnEndRequest
    std::function<void()> onMouseEvent; // run before each mouse event
    int outputLocks = 0;                // LockOutput calls not yet unlocked; the reader
                                        // thread takes it too
};

extern RecordingPlatform recording;

void ResetRecordingPlatform();
void FeedKey(int code, int fromPoll = 1);

// From now until the next reset, every sleep of a thread other than the
// test's own lasts ms. Cut to 0, the probe's reader wakes from its sleep
// before the window has closed and reads once more, as it does when the main
// thread is held up at the window's end.
void CutThreadSleeps(int ms);
