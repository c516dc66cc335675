// The signals that end or stop the program, taken in a thread of their own.
#pragma once

// Blocks those signals in the calling thread and starts the thread that
// waits for them. Called before any other thread starts, so that every later
// thread has them blocked too.
void StartSignalThread();
