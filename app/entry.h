#pragma once

// The whole program: finds the remote, checks that it answers, runs the
// control loop until the user quits, and leaves the remote quiet. Returns the
// exit code: 1 when there is no remote or it went away, else 0.
int RunLumadrifter();
