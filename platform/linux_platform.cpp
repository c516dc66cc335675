// The Linux platform's start and end: the signal thread, the mouse, the
// terminal.
#include "platform/linux_mouse.h"
#include "platform/linux_signals.h"
#include "platform/linux_terminal.h"
#include "platform/platform.h"

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

void StopPlatform() {
    LockOutput();
    StopTerminal();
    CloseMouse();
    UnlockOutput();
}
