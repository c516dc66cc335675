// The pure pieces of the Linux platform: bytes and numbers in, bytes and
// numbers out, no terminal, display or device needed.
#pragma once

#include <cstdint>
#include <linux/input.h>

// Terminal keys. What a key test sees of an arrow or function key.
constexpr int KeyEscape = 27;
constexpr int KeySequence = 0x100;

// Takes one key from the front of bytes[0..count): a plain byte is its own
// code; a lone ESC is KeyEscape; an escape sequence (ESC '[' or ESC 'O' and
// the rest, or ESC and one more byte, as Alt sends) is KeySequence. Returns
// the bytes the key takes, or 0 when the bytes so far could be the start of a
// sequence whose rest is still to come; with complete set, nothing more will
// come and every byte is taken.
int TakeKey(const unsigned char *bytes, int count, bool complete, int *key);

// X has whole wheel clicks only. The carry keeps the part of a click not yet
// sent, and starts over when the wheel turns the other way.
struct WheelCarry {
    int64_t carry;
    int lastSign;
};

// Adds a wheel amount (1/120 click, positive up); returns the whole clicks to
// send now, positive up, rounded half away from zero.
int CarryWheel(WheelCarry *wheel, int amount);

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

// "1920x1080" (the first line of a DRM connector's modes file, perhaps with a
// suffix such as "i") to its size; false when it is no size.
bool ParseModeSize(const char *text, int *width, int *height);

// An output's place in a Wayland session's layout, in logical pixels.
struct OutputArea {
    int x, y, width, height;
};

// The smallest area that holds every output with a size (outputs may sit at
// negative positions); false when there is none.
bool BoundingArea(const OutputArea *outputs, int count, OutputArea *box);
