// The mouse buttons the program holds down, kept alike on Linux and
// Windows. The system would keep a button down after the program has gone,
// so every end lets go of them; a stop lets go and presses them again after.
// The caller holds the output lock and gives the way its system sends one
// button event (platform.h's flags).
#pragma once

using SendButtonEvent = void (*)(unsigned flags);

// Notes what a mouse event's flags do to the buttons held.
void NoteButtons(unsigned flags);
// An up event for each button held, then none is; returns those that were,
// as MouseLeftDown and MouseRightDown.
unsigned LetGoOfButtons(SendButtonEvent send);
// Down events for buttons, as LetGoOfButtons returned them; held again.
void PressAgain(unsigned buttons, SendButtonEvent send);
// What is held after flags, from what was: the bookkeeping alone.
unsigned ButtonsAfter(unsigned held, unsigned flags);
// What is held now, as LetGoOfButtons would return it.
unsigned HeldButtons();
