#include "remote/probe.h"

#include "app/delay.h"
#include "platform/platform.h"
#include "remote/reports.h"

#include <atomic>

// Each flag has one writer: keepReading the main thread, readerRunning the
// reader. They are atomic so that neither thread's loop can keep a stale copy.
static std::atomic<uint8_t> keepReading;
static std::atomic<uint8_t> readerRunning;
static ThreadHandle readerThread;
// Counts the reports the reader has decoded. The main thread reads it before
// it looks at what they decoded, so the decoded state is handed over whole,
// and a report still being decoded as the window closes is not counted.
static std::atomic<uint32_t> readerReports;
// Set by the camera set-up just before it selects mode 0x33, cleared by each
// probe and, under the output lock (platform.h), when the program quiets the
// remote at its end. A status report turns the remote's data reporting off
// until a mode is selected again; once this is set, the reader answers one
// as the control loop does. A status report read before it is set was sent
// before the set-up's own mode selection, which turns reporting on again.
static std::atomic<uint8_t> cameraModeChosen;

// Under the output lock (platform.h): no answer follows the quiet state.
static void AnswerStatusReport() {
    LockOutput();
    if (cameraModeChosen.load() != 0)
        SelectCameraModeAside();
    UnlockOutput();
}

static void ReaderThread(void *) {
    while (keepReading.load() != 0) {
        readerRunning.store(1);
        MarkThreadKillable(true);
        int id = ReadRemote();
        MarkThreadKillable(false);
        if (id == 0x20)
            AnswerStatusReport();
        readerReports.fetch_add(1);
        SleepMilliseconds(100);
    }
    readerRunning.store(0);
}

// A remote sends accelerometer data at once when mode 0x31 is selected; a
// zero first accelerometer byte counts as nothing received.
bool ProbeRemote() {
    cameraModeChosen.store(0);
    remoteState.accelX = 0;
    readerReports.store(0);
    keepReading.store(1);
    readerThread = StartThread(ReaderThread);
    WaitMilliseconds(100);
    keepReading.store(0);

    bool answered = readerReports.load() != 0 && remoteState.accelX != 0;
    if (answered)
        ReleaseThread(readerThread); // it finishes its pass and ends; never joined
    return answered;
}

// The thread is either blocked in a read that may never return, and ended
// there, or asleep, and then waited for: it wakes to a closed window.
void StopReaderThread() {
    if (readerRunning.load() == 1) {
        KillThread(readerThread);
        readerRunning.store(0);
    } else {
        ReleaseThread(readerThread);
    }
}

void NoteCameraModeChosen() {
    cameraModeChosen.store(1);
}

void ForgetCameraMode() {
    LockOutput();
    cameraModeChosen.store(0);
    UnlockOutput();
}
