// The Linux platform's one end, taken by every path below the control loop
// that ends the process: a signal, the X display lost.
#pragma once

// Lets go of the buttons held (where the desktop is still there), calls the
// leave of OnEndRequest, gives back the terminal and the mouse, then ends
// the process: with why on stderr and exit code 1, or, when why is null, by
// signal's default action (from the signal thread, where alone it lands).
// The calling thread may hold the output lock already or not. A fatal path
// that starts inside an end goes on with it: no step is done twice, and the
// process ends as the first path asked.
[[noreturn]] void EndProgram(int signal, const char *why);
