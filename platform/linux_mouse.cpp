// The mouse on Linux: X11 (XTest) in an X session, otherwise a virtual
// pointer through uinput, chosen once at start. Everything goes through the
// output lock (platform.h).
#include "platform/linux_mouse.h"

#include "platform/held_buttons.h"
#include "platform/linux_mouse_backends.h"
#include "platform/platform.h"

#include <cstdio>

static const MouseBackend *backend;

bool OpenMouse() {
    char x11Why[256], uinputWhy[256];
    bool tell = false;

    backend = OpenX11Mouse(x11Why, sizeof x11Why, &tell);
    if (backend)
        return true;
    backend = OpenUinputMouse(uinputWhy, sizeof uinputWhy);
    if (backend) {
        if (tell)
            std::fprintf(stderr, "lumadrifter: not using X11: %s.\n", x11Why);
        return true;
    }
    std::fprintf(stderr,
                 "lumadrifter: no way to move the mouse.\n"
                 "  X11: %s.\n"
                 "  uinput: %s.\n"
                 "Run the program in an X11 session with DISPLAY set, or let your user make a "
                 "virtual mouse: load the uinput module (sudo modprobe uinput) and install the "
                 "udev rule 70-lumadrifter.rules (see README).\n",
                 x11Why, uinputWhy);
    return false;
}

void CloseMouse() {
    if (backend)
        backend->close();
    backend = nullptr;
}

static void Send(unsigned flags, int data) {
    if (backend)
        backend->send(flags, data);
}

void SendMouseEvent(unsigned flags, int data) {
    LockOutput();
    NoteButtons(flags);
    Send(flags, data);
    UnlockOutput();
}

void SendButton(unsigned flags) {
    Send(flags, 0);
}

void PlaceCursor(int x, int y) {
    LockOutput();
    if (backend)
        backend->place(x, y);
    UnlockOutput();
}

void ReadCursor(int *x, int *y) {
    *x = 0;
    *y = 0;
    LockOutput();
    if (backend)
        backend->read(x, y);
    UnlockOutput();
}
