// The mouse on Linux: X11 or uinput, chosen once at start, and the buttons
// the program holds down through it. Callers hold the output lock.
#pragma once

// Opens the first output that works; when none does, says why on stderr.
bool OpenMouse();
void CloseMouse();
// One button event through the open mouse, for held_buttons.h.
void SendButton(unsigned flags);
