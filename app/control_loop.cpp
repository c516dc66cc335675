#include "app/control_loop.h"

#include "app/pass_state.h"
#include "mouse/buttons.h"
#include "mouse/dpad.h"
#include "mouse/pointer.h"
#include "platform/platform.h"
#include "remote/reports.h"

// One key per pass; an arrow or function key, two codes, takes two passes.
static bool EscapePressed() {
    return IsKeyWaiting() && ReadKey() == 27;
}

// Home alone: the whole second button byte must be exactly 0x80.
static bool HomeAlone() {
    return remoteState.buttons2 == 0x80;
}

// Each pass is paced by the read: it waits for the remote's next report.
LoopEnd RunControlLoop() {
    PassState pass;
    LoopEnd end;

    for (;;) {
        if (EscapePressed()) {
            end = LoopQuit;
            break;
        }
        int id = ReadRemote();
        if (id == -1) {
            end = LoopDisconnected;
            break;
        }
        // A status report turns the remote's data reporting off until a
        // mode is selected again.
        if (id == 0x20)
            SetReportMode(0x00, 0x33);
        if (HomeAlone()) {
            end = LoopQuit;
            break;
        }
        ButtonActions(pass);
        UpdatePointer(pass);
        MoveWithDpad(pass);
    }
    ReleaseButtons(pass);
    return end;
}
