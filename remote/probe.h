#pragma once

// Checks that the opened remote answers: a reader thread reads reports for a
// 100 ms window, and the probe succeeds when accelerometer data came in.
bool ProbeRemote();

// After a failed probe: ends the reader thread if it is still reading.
void StopReaderThread();
