#pragma once

// Holds the calling thread for more than ms milliseconds, spinning on the
// high-resolution counter: it ends within one counter read of the deadline,
// whatever the system's timer tick.
void WaitMilliseconds(int ms);
