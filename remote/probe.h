#pragma once

// Checks that the opened remote answers: a reader thread reads reports for a
// 100 ms window, and the probe succeeds when accelerometer data came in.
bool ProbeRemote();

// After a failed probe: ends the reader thread if it is still reading.
void StopReaderThread();

// Called by the camera set-up as it selects mode 0x33: from then on a status
// report the reader thread takes in its last read is answered by selecting
// that mode again.
void NoteCameraModeChosen();
// Called as the program begins to quiet the remote: a status report the
// reader takes from then on is left unanswered, so the remote stays quiet.
void ForgetCameraMode();
