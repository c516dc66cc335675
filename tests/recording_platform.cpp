#include "tests/recording_platform.h"

#include "platform/platform.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

#include <unistd.h>

RecordingPlatform recording;
// -1: sleeps as asked.
static std::atomic<int> threadSleepMs{-1};

void ResetRecordingPlatform() {
    recording = RecordingPlatform();
    threadSleepMs.store(-1);
}

void CutThreadSleeps(int ms) {
    threadSleepMs.store(ms);
}

int64_t ReadCounter() {
    if (recording.counter)
        return recording.counter();
    return std::chrono::nanoseconds(std::chrono::steady_clock::now().time_since_epoch()).count();
}

int64_t ReadCounterFrequency() {
    recording.frequencyReads++;
    return recording.counterFrequency;
}

void SleepMilliseconds(int ms) {
    int cut = threadSleepMs.load();
    if (cut >= 0 && gettid() != getpid())
        ms = cut;
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

void FeedKey(int code, int fromPoll) {
    recording.keys.push_back({code, fromPoll});
}

bool StartPlatform() {
    recording.starts++;
    return !recording.startFails;
}

void StopPlatform() {
    recording.stops++;
}

void OnEndRequest(void (*leave)()) {
    recording.leave = leave;
}

// No lock: the unit cases keep the reader thread and the main thread apart
// in time, through the scripted remote's delays.
void LockOutput() {}
void UnlockOutput() {}

void SendMouseEvent(unsigned flags, int data) {
    if (recording.onMouseEvent)
        recording.onMouseEvent(flags, data);
    if (recording.keep)
        recording.mouseEvents.push_back({flags, data, ReadCounter()});
}

// As the system does, the cursor stays on the screen.
void PlaceCursor(int x, int y) {
    recording.cursorX = std::clamp(x, 0, recording.screenWidth - 1);
    recording.cursorY = std::clamp(y, 0, recording.screenHeight - 1);
    if (recording.keep)
        recording.placements.push_back({x, y, recording.cursorX, recording.cursorY});
    if (recording.onPlaceCursor)
        recording.onPlaceCursor(x, y);
}

void ReadCursor(int *x, int *y) {
    *x = recording.cursorX;
    *y = recording.cursorY;
    if (recording.onReadCursor)
        recording.onReadCursor(*x, *y);
}

void ShowMessage(const char *text) {
    if (recording.onMessage)
        recording.onMessage(text);
    if (!recording.keep)
        return;
    recording.messages.push_back(text);
    recording.messageNs.push_back(ReadCounter());
}

void AdviseOnNoRemote() {
    recording.advisedAfterMessages = static_cast<int>(recording.messages.size());
}

bool IsKeyWaiting() {
    recording.keyPolls++;
    size_t next = static_cast<size_t>(recording.keysRead);
    return next < recording.keys.size() && recording.keys[next].fromPoll <= recording.keyPolls;
}

int ReadKey() {
    return recording.keys[static_cast<size_t>(recording.keysRead++)].code;
}

void WriteConsoleText(const char *text) {
    if (recording.onConsoleText)
        recording.onConsoleText(text);
    if (recording.keep)
        recording.console += text;
}
