// The two ways the mouse reaches a Linux desktop. Each offers the same few
// calls; linux_mouse.cpp opens one at start and goes through it.
#pragma once

struct MouseBackend {
    void (*close)();
    void (*send)(unsigned flags, int data); // flags and data as SendMouseEvent's
    void (*place)(int x, int y);
    void (*read)(int *x, int *y);
};

// X11 through XTest, when a display is reachable and no Wayland session is
// announced, nor the display XWayland. On failure (null), why holds a line
// for the user, and tell is set when it is worth saying even if uinput
// works: a display could be opened and was left.
const MouseBackend *OpenX11Mouse(char *why, int room, bool *tell);

// A virtual pointer through /dev/uinput; null on failure, with why.
const MouseBackend *OpenUinputMouse(char *why, int room);
// What the virtual pointer declares, with absolute axes over width x height;
// the caller frees it.
struct libevdev *DescribePointer(int width, int height);
