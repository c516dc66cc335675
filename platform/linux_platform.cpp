// The Linux platform's start and end: the output lock, the end request, and
// the one end every fatal path takes.
#include "platform/linux_platform.h"

#include "platform/held_buttons.h"
#include "platform/linux_mouse.h"
#include "platform/linux_signals.h"
#include "platform/linux_terminal.h"
#include "platform/platform.h"

#include <atomic>
#include <cstdio>
#include <iterator>
#include <pthread.h>
#include <unistd.h>

static pthread_mutex_t outputLock = PTHREAD_MUTEX_INITIALIZER;
// The thread that holds the lock, or 0 (which pthread_self never returns)
// while it is free. Only the holder writes its own id here, so a thread that
// reads its own id holds the lock.
static std::atomic<pthread_t> outputOwner;
static void (*leaveOnEnd)();

void LockOutput() {
    pthread_mutex_lock(&outputLock);
    outputOwner.store(pthread_self());
}

void UnlockOutput() {
    outputOwner.store(pthread_t{});
    pthread_mutex_unlock(&outputLock);
}

static bool OutputLockedHere() {
    return pthread_equal(outputOwner.load(), pthread_self());
}

void OnEndRequest(void (*leave)()) {
    LockOutput();
    leaveOnEnd = leave;
    UnlockOutput();
}

// The signal thread starts first, so that every thread after it (the
// probe's reader, any of a library's) has the signals blocked.
bool StartPlatform() {
    StartSignalThread();
    LockOutput();
    bool opened = OpenMouse();
    if (opened)
        StartTerminal();
    UnlockOutput();
    return opened;
}

// What StartPlatform took, in the order every end gives it back.
static void GiveBack() {
    StopTerminal();
    CloseMouse();
}

void StopPlatform() {
    LockOutput();
    GiveBack();
    UnlockOutput();
}

static void LetGoForGood() {
    LetGoOfButtons(SendButton);
}

static void Leave() {
    if (leaveOnEnd)
        leaveOnEnd();
}

// The end under way, under the lock, which an end never gives back
// (platform.h): how the process is to end, and how many of the steps have
// begun. A step is counted before it runs, so an end entered again from
// inside one (the X connection found dead as the buttons are let go through
// it) goes on from the next.
static void (*const endSteps[])() = {LetGoForGood, Leave, GiveBack};
static struct {
    bool begun;
    int signal;
    const char *why;
    int stepsBegun;
} end;

void EndProgram(int signal, const char *why) {
    if (!OutputLockedHere())
        LockOutput();
    if (!end.begun) {
        end.begun = true;
        end.signal = signal;
        end.why = why;
    }
    while (end.stepsBegun < static_cast<int>(std::size(endSteps)))
        endSteps[end.stepsBegun++]();
    if (end.why) {
        std::fprintf(stderr, "lumadrifter: %s\n", end.why);
        _exit(1);
    }
    TakeDefaultAction(end.signal);
    _exit(128 + end.signal);
}
