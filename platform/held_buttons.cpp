#include "platform/held_buttons.h"

#include "platform/platform.h"

// As MouseLeftDown and MouseRightDown; under the output lock.
static unsigned held;

unsigned ButtonsAfter(unsigned held, unsigned flags) {
    held |= flags & (MouseLeftDown | MouseRightDown);
    if (flags & MouseLeftUp)
        held &= ~static_cast<unsigned>(MouseLeftDown);
    if (flags & MouseRightUp)
        held &= ~static_cast<unsigned>(MouseRightDown);
    return held;
}

unsigned HeldButtons() {
    return held;
}

void NoteButtons(unsigned flags) {
    held = ButtonsAfter(held, flags);
}

unsigned LetGoOfButtons(SendButtonEvent send) {
    unsigned wasHeld = held;

    if (held & MouseLeftDown)
        send(MouseLeftUp);
    if (held & MouseRightDown)
        send(MouseRightUp);
    held = 0;
    return wasHeld;
}

void PressAgain(unsigned buttons, SendButtonEvent send) {
    if (buttons & MouseLeftDown)
        send(MouseLeftDown);
    if (buttons & MouseRightDown)
        send(MouseRightDown);
    held = buttons;
}
