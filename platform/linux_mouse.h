// The mouse on Linux: X11 or uinput, chosen once at start, and the buttons
// the program holds down through it. Callers hold the output lock.
#pragma once

// Opens the first output that works; when none does, says why on stderr.
bool OpenMouse();
void CloseMouse();
// Up events for the buttons held; returns them, as MouseLeftDown and
// MouseRightDown.
unsigned LetGoOfButtons();
// Down events for them again.
void PressAgain(unsigned buttons);
