#pragma once

// How the control loop ended.
enum LoopEnd {
    LoopQuit,         // Escape or Home: the user quit
    LoopDisconnected, // the remote went away
};

// Reads the remote and drives the mouse, one pass per report, until the user
// quits or the remote goes away. No button is left down when it returns.
LoopEnd RunControlLoop();
