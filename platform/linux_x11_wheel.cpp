#include "platform/linux_x11_wheel.h"

static int Sign(int64_t v) {
    return (v > 0) - (v < 0);
}

int CarryWheel(WheelCarry *wheel, int amount) {
    int sign = Sign(amount);

    if (sign != wheel->lastSign)
        wheel->carry = 0;
    wheel->lastSign = sign;
    wheel->carry += amount;

    int64_t c = wheel->carry;
    int64_t clicks = c >= 0 ? (c + 60) / 120 : -((-c + 60) / 120);
    wheel->carry -= 120 * clicks;
    return static_cast<int>(clicks);
}
