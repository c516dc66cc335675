// Between the Linux platform files: the two mouse backends that the console
// file chooses from once at start-up, the console's own clean-up, and what
// the signal thread asks of the console.
#pragma once

// X11 through XTest, when a display is reachable and no Wayland session is
// announced, nor the display XWayland. On failure, why holds a line for the
// user, and tell is set when it is worth saying even if uinput works: a
// display could be opened and was left.
bool OpenX11Mouse(char *why, int room, bool *tell);
void CloseX11Mouse();
void X11SendMouseEvent(unsigned flags, int data);
void X11PlaceCursor(int x, int y);
void X11ReadCursor(int *x, int *y);

// A virtual pointer through /dev/uinput.
bool OpenUinputMouse(char *why, int room);
void CloseUinputMouse();
void UinputSendMouseEvent(unsigned flags, int data);
void UinputPlaceCursor(int x, int y);
void UinputReadCursor(int *x, int *y);
// What the virtual pointer declares, with absolute axes over width x height;
// the caller frees it.
struct libevdev *DescribePointer(int width, int height);
// The screen's size from the DRM connectors under drmDir (/sys/class/drm):
// the first connected connector's first mode; 1920x1080 when none can be read.
void ReadScreenSize(const char *drmDir, int *width, int *height);

// The bounding box of a Wayland session's outputs in logical pixels, asked
// of the compositor once; false without a session that answers in time.
struct OutputArea;
bool ReadWaylandLayout(OutputArea *box);

// Puts the terminal back as it was; safe in any thread.
void RestoreTerminal();
// Puts the terminal back in key mode after the program was stopped.
void ResumeTerminal();

// For the signal thread, which holds the output lock around each: up events
// for the buttons held (returns them), down events for them again, and the
// terminal and the mouse given back for good.
unsigned LetGoOfButtons();
void PressAgain(unsigned buttons);
void GiveBackOnEnd();
// Blocks the signals the thread takes in the calling thread and starts it.
void StartSignalThread();
