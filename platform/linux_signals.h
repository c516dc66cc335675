// The signals that end or stop the program, taken in a thread of their own.
#pragma once

// Blocks those signals in the calling thread and starts the thread that
// waits for them. Called before any other thread starts, so that every later
// thread has them blocked too.
void StartSignalThread();
// Lets the default action of signal take the signal thread, and with it the
// process; returns only when that action stops the process and it is
// continued. Every other thread keeps the signal blocked, so it lands here.
void TakeDefaultAction(int signal);
