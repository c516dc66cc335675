// The operating-system services the program uses, and nothing more.
//
// One implementation per system is chosen when linking (platform/linux_*.cpp,
// platform/windows.cpp); the tests link a recording double instead.
//
// Threads, and the rules every file here and above keeps:
// - The main thread runs the program from StartPlatform to StopPlatform and
//   calls the services below; only an end and, on Linux, a stop (Ctrl-Z)
//   reach the mouse and the terminal from a thread of their own.
// - The probe's reader thread (remote/probe.cpp) reads the remote; the one
//   report it may send (the answer to a status report) goes under the output
//   lock. It may be killed only inside its read (MarkThreadKillable).
// - On Linux with the uinput mouse, the layout thread (linux_uinput.cpp)
//   listens to the Wayland compositor for as long as it answers, started
//   with the mouse; when the screens' box changes it replaces the virtual
//   mouse under the output lock (made and destroyed outside it; one that
//   holds a button down stays until the main thread lets go of it). A close of
//   the mouse stops it and lets it go without waiting: it never holds the
//   lock while it listens.
// - On Linux, the signal thread (linux_signals.cpp), started first, takes
//   the signals that end or stop the program; every other thread has them
//   blocked. On Windows, the system's console handler thread takes Ctrl+C,
//   Ctrl+Break and the console closing. Either runs whenever the main thread
//   is anywhere.
//
// The output lock guards what leaves the program for the outside: every
// report to the remote and whether the remote is open; the buttons held
// down; on Linux also every mouse event, cursor placement and read (and so
// every X call), the switch from one virtual mouse to the next, the
// terminal's settings and the start and stop of mouse and terminal; on
// Windows each mouse event.
//
// An end (on Linux a signal or the X display lost, on Windows a console
// event) takes the lock, or keeps it when its own thread holds it already,
// and never gives it back: whatever waits for it then (a report or a mouse
// event of the main thread's) never runs, so nothing follows the quiet
// state. Each system has one end routine: EndProgram (linux_platform.cpp),
// LeaveOnConsoleEvent (windows.cpp).
#pragma once

#include <cstdint>

// Mouse event flags, with the values the system's own mouse input uses.
enum MouseEventFlags : unsigned {
    MouseLeftDown = 0x0002,
    MouseLeftUp = 0x0004,
    MouseRightDown = 0x0008,
    MouseRightUp = 0x0010,
    MouseWheel = 0x0800,
};

// Makes the mouse output and the console ready. On failure it has already
// told the user why (on stderr) and the program ends with exit code 1.
bool StartPlatform();
// Gives back what StartPlatform took (terminal settings, a virtual mouse).
void StopPlatform();

// When the program is ended from below it (see the top), the end lets go of
// the buttons held, calls leave, gives back what StartPlatform took and ends
// the process as that request ends a program. leave runs in the end's
// thread with the output lock held, never in a signal handler.
void OnEndRequest(void (*leave)());
// The output lock (see the top).
void LockOutput();
void UnlockOutput();

// A button event (data 0) or a wheel amount (MouseWheel, data in 1/120 notch)
// at the cursor's current position.
void SendMouseEvent(unsigned flags, int data);
// Places the cursor; the system clamps the position to the screen.
void PlaceCursor(int x, int y);
void ReadCursor(int *x, int *y);

// Shows a message and waits until the user has acknowledged it.
void ShowMessage(const char *text);
// After the message that no remote was found: what the user can do about it
// on this system, on stderr. The HID library has said what failed, if
// anything did, and gives no advice of its own.
void AdviseOnNoRemote();

bool IsKeyWaiting();
// One key code, without echo.
int ReadKey();
// Fixed text to standard output, flushed at once.
void WriteConsoleText(const char *text);

// A monotonic high-resolution tick count, and its ticks per second.
int64_t ReadCounter();
int64_t ReadCounterFrequency();
// Yields the processor for ms milliseconds.
void SleepMilliseconds(int ms);

using ThreadBody = void (*)(void *argument);
using ThreadHandle = uintptr_t;

ThreadHandle StartThread(ThreadBody body);
// The calling thread marks where it may be ended: around a call that may
// block for good (a read of the remote), and nowhere else. A thread starts
// unmarked.
void MarkThreadKillable(bool killable);
// Ends the thread and lets go of its handle: at once when it is inside what
// it marked killable (on Windows wherever it is); otherwise it is waited for
// until it ends by itself. Safe on a thread that has just ended on its own:
// the handle is still held, so nothing else can be hit.
void KillThread(ThreadHandle thread);
// Lets go of the handle without waiting; a running thread ends on its own.
void ReleaseThread(ThreadHandle thread);
