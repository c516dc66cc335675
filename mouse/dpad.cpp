#include "mouse/dpad.h"

#include "platform/platform.h"
#include "remote/reports.h"

static int32_t Limit(int32_t v, int32_t lo, int32_t hi) {
    return v < lo ? lo : (v > hi ? hi : v);
}

// One axis: accelerate in the held direction, brake hard against it. The
// brake sees the speed the acceleration just left, so an axis at rest that
// starts to move is not braked back to 0.
static void StepSpeed(int32_t dir, int32_t &speed) {
    if (dir > 0 && speed >= 0)
        speed = Limit(speed + 1, -16, 16);
    if (dir < 0 && speed <= 0)
        speed = Limit(speed - 1, -16, 16);
    if ((dir < 0 && speed >= 0) || (dir > 0 && speed <= 0))
        speed /= 4;
}

// Pixels to move for a speed: nothing within the dead band of 2.
static int32_t Travel(int32_t speed) {
    if (speed > 2)
        return speed - 2;
    if (speed < -2)
        return speed + 2;
    return 0;
}

// buttons1: 0x01 left, 0x02 right, 0x04 down, 0x08 up. Down wins over Up,
// Left over Right. Positive speedY is up the screen.
void MoveWithDpad(PassState &pass) {
    uint8_t b1 = remoteState.buttons1;
    int32_t dirY = (b1 & 0x04) ? -1 : (b1 & 0x08) ? 1 : 0;
    int32_t dirX = (b1 & 0x01) ? -1 : (b1 & 0x02) ? 1 : 0;
    int x, y;

    ReadCursor(&x, &y);
    StepSpeed(dirX, pass.speedX);
    StepSpeed(dirY, pass.speedY);
    if (dirX == 0)
        pass.speedX /= 2;
    if (dirY == 0)
        pass.speedY /= 2;

    x += Travel(pass.speedX);
    y -= Travel(pass.speedY);
    PlaceCursor(x, y);
}
