// The virtual pointer's input events, frame by frame.
#pragma once

#include "platform/linux_screen_area.h"

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
// The pointer on a device spanning the box to instead of from (both in the
// layout's logical pixels): where the user sees it stays where it is,
// clamped into the new box, and is placed there. A device spanning a box
// only guessed (guessed) was stretched by the compositor over the layout,
// to, that it did not know: its place is scaled to the new box. Returns the
// count.
int EncodeNewBox(UinputPointer *pointer, OutputArea from, bool guessed, OutputArea to,
                 input_event *out);
