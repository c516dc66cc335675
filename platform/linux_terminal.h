// The terminal on Linux: keys one at a time while the program runs, and the
// terminal put back as it was on every way out.
#pragma once

// Takes the terminal for keys when stdin is one.
void StartTerminal();
// Puts the terminal back as it was; safe in any thread.
void RestoreTerminal();
// Takes it for keys again after the program was stopped.
void ResumeTerminal();
// Puts it back for good.
void StopTerminal();
