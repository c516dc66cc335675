#include "mouse/buttons.h"

#include "app/delay.h"
#include "platform/platform.h"
#include "remote/reports.h"

// The remote buzzes for 80 ms. The camera bit stays set: the rumble bit
// shares the camera report's byte.
static void PulseRumble() {
    SetIrCamera(0x05);
    WaitMilliseconds(80);
    SetIrCamera(0x04);
}

// A button that sends down on press and up on release.
static void FollowButton(bool pressed, int32_t &down, unsigned downFlag, unsigned upFlag) {
    if (pressed && down == 0) {
        SendMouseEvent(downFlag, 0);
        down = 1;
    } else if (!pressed && down == 1) {
        SendMouseEvent(upFlag, 0);
        down = 0;
    }
}

// A button that gives one wheel step, with a buzz, per press.
static void StepOnPress(bool pressed, int32_t &seen, int amount) {
    if (!pressed) {
        seen = 0;
        return;
    }
    if (seen == 0) {
        PulseRumble();
        SendMouseEvent(MouseWheel, amount);
        seen = 1;
    }
}

// The wheel moves 64 per event, about half a notch.
void ButtonActions(PassState &pass) {
    uint8_t b1 = remoteState.buttons1;
    uint8_t b2 = remoteState.buttons2;

    FollowButton(b2 & 0x08, pass.rightDown, MouseRightDown, MouseRightUp); // A
    FollowButton(b2 & 0x04, pass.leftDown, MouseLeftDown, MouseLeftUp);    // B
    if (b2 & 0x02)                                                         // One
        SendMouseEvent(MouseWheel, 64);
    if (b2 & 0x01) // Two
        SendMouseEvent(MouseWheel, -64);
    StepOnPress(b1 & 0x10, pass.plusSeen, -64); // Plus
    StepOnPress(b2 & 0x10, pass.minusSeen, 64); // Minus
}

void ReleaseButtons(PassState &pass) {
    FollowButton(false, pass.rightDown, MouseRightDown, MouseRightUp);
    FollowButton(false, pass.leftDown, MouseLeftDown, MouseLeftUp);
}
