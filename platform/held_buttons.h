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
// From one device to another: each button held is pressed through to, then
// let go of through from; it stays held. Pressed first, so that a desktop
// that counts a button down while any device holds it sees no release.
void MoveButtons(SendButtonEvent from, SendButtonEvent to);
