#include "mouse/pointer.h"

#include "platform/platform.h"
#include "remote/reports.h"

// Tracking messages: nothing until tracking is first lost, then one line at
// each change.
static void TrackingSeen(PassState &pass) {
    if (pass.trackState == 0) {
        pass.trackState = 1;
        WriteConsoleText("IR-Track Ok\n");
    }
}

static void TrackingLost(PassState &pass) {
    if (pass.trackState != 0) {
        pass.trackState = 0;
        WriteConsoleText("IR-Track NG\n");
    }
}

// The midpoint of the two dots, mirrored in X (the camera sees the lights
// reversed), scaled by 3 about the camera's centre (512, 512).
void UpdatePointer(PassState &pass) {
    const RemoteState &s = remoteState;

    if (s.dot1X == 1023 || s.dot2X == 1023) {
        TrackingLost(pass);
        return;
    }
    TrackingSeen(pass);

    int32_t mx = (s.dot1X + s.dot2X) / 2;
    int32_t my = (s.dot1Y + s.dot2Y) / 2;
    int32_t tx = 512 - 3 * (mx - 512);
    int32_t ty = 512 + 3 * (my - 512);

    if (pass.smoothX == 0 && pass.smoothY == 0) {
        pass.smoothX = tx;
        pass.smoothY = ty;
    }
    int32_t x = (5 * pass.smoothX + tx) / 6;
    int32_t y = (5 * pass.smoothY + ty) / 6;

    PlaceCursor(x, y);
    pass.smoothX = x;
    pass.smoothY = y;
}
