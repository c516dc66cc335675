// The virtual pointer's input events, frame by frame.
#pragma once

#include <cstdint>
#include <linux/input.h>

// A virtual absolute pointer: where the layer last put the cursor, clamped
// to the screen, and the hi-res wheel's amount not yet given as a whole
// legacy click.
struct UinputPointer {
    int width, height;
    int x, y;
    int64_t wheelRest;
};

// Room enough for what one call can encode.
constexpr int MaxPointerEvents = 16;

// A mouse event with Windows-style flags (platform.h) as input_event records,
// each button change and the wheel in a frame of its own. Returns the count.
int EncodeMouseEvent(UinputPointer *pointer, unsigned flags, int data, input_event *out);
// Places the cursor at (x, y) clamped to the screen. Returns the count.
int EncodePlacement(UinputPointer *pointer, int x, int y, input_event *out);
