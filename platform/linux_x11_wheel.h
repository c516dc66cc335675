// The wheel on X11, which knows whole clicks only.
#pragma once

#include <cstdint>

// X has whole wheel clicks only. The carry keeps the part of a click not yet
// sent, and starts over when the wheel turns the other way.
struct WheelCarry {
    int64_t carry;
    int lastSign;
};

// Adds a wheel amount (1/120 click, positive up); returns the whole clicks to
// send now, positive up, rounded half away from zero.
int CarryWheel(WheelCarry *wheel, int amount);
