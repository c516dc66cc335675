#pragma once

#include <cstdint>

// The control loop's own record, made when the loop starts and handed to
// each per-pass action.
struct PassState {
    int32_t rightDown = 0;   // a right-button down is outstanding (A)
    int32_t leftDown = 0;    // a left-button down is outstanding (B)
    int32_t plusSeen = 0;    // Plus still held after its wheel step
    int32_t minusSeen = 0;   // Minus still held after its wheel step
    int32_t trackState = -1; // -1 no message yet, 0 lost, 1 tracking
    int32_t smoothX = 0;     // where the pointer last put the cursor;
    int32_t smoothY = 0;     // (0, 0) means nowhere yet
    int32_t speedX = 0;      // D-pad speeds, each within -16..16
    int32_t speedY = 0;
};
