// Mouse and cursor on an X11 display: buttons and wheel through XTest, the
// cursor through XWarpPointer and XQueryPointer on the root window.
#include "platform/linux_mouse_backends.h"
#include "platform/linux_platform.h"
#include "platform/linux_x11_wheel.h"
#include "platform/platform.h"

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/extensions/Xrandr.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <time.h>

static Display *display;
static Window root;
static WheelCarry wheel;
// The connection was found lost: nothing more goes through it, and it is
// not closed (closing talks to the server).
static bool lost;

// Where the server said the cursor was at the last read, until the next
// call: placing the cursor right there again moves nothing, and costs a
// round trip the program can spare in every pass.
static bool justRead;
static int readX, readY;

// Where the server put the cursor at the last placement, and when it said
// so: a read that comes right after it (the D-pad reads the cursor just
// after the pointer has placed it) takes that answer instead of asking the
// server again. An older answer is not used: by then the user may have
// moved the mouse.
static bool justPlaced;
static int placedX, placedY;
static long long placedAtNs;
static const long long PlacedFreshNs = 100000;

static long long NowNs() {
    timespec t;

    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec * 1000000000LL + t.tv_nsec;
}

// A failed request is reported and passed over; the program goes on.
static int ReportXError(Display *d, XErrorEvent *e) {
    char text[128];

    XGetErrorText(d, e->error_code, text, sizeof text);
    std::fprintf(stderr, "lumadrifter: X request %d failed: %s\n", e->request_code, text);
    return 0;
}

// Xlib calls this once a request finds the connection lost, and would end
// the process if it returned: the program ends as on any other fatal path,
// without this display's help. It never returns.
static int ReportLostDisplay(Display *) {
    lost = true;
    EndProgram(0, "lost the connection to the X display.");
}

// XWayland serves X programs inside a Wayland session: what XTest does there
// reaches X windows only, and the session's own cursor stays put. It names
// its RandR outputs XWAYLAND<n>; later versions also have an XWAYLAND
// extension. Plain X servers have neither.
static bool IsXWayland(Display *d) {
    int opcode, event, error;
    bool found = false;

    if (XQueryExtension(d, "XWAYLAND", &opcode, &event, &error))
        return true;
    if (!XRRQueryExtension(d, &event, &error))
        return false;
    XRRScreenResources *screen = XRRGetScreenResourcesCurrent(d, DefaultRootWindow(d));
    for (int i = 0; screen && i < screen->noutput && !found; i++) {
        XRROutputInfo *output = XRRGetOutputInfo(d, screen, screen->outputs[i]);
        found = output && std::strncmp(output->name, "XWAYLAND", 8) == 0;
        if (output)
            XRRFreeOutputInfo(output);
    }
    if (screen)
        XRRFreeScreenResources(screen);
    return found;
}

static void CloseX11Mouse() {
    if (display && !lost)
        XCloseDisplay(display);
    display = nullptr;
}

static void Button(unsigned button, bool down) {
    XTestFakeButtonEvent(display, button, down, CurrentTime);
}

static void Click(unsigned button, int count) {
    for (int i = 0; i < count; i++) {
        XTestFakeButtonEvent(display, button, True, CurrentTime);
        XTestFakeButtonEvent(display, button, False, CurrentTime);
    }
}

// Left is button 1, right button 3; the wheel is button 4 (up) and 5 (down),
// one press and release per click.
static void X11SendMouseEvent(unsigned flags, int data) {
    if (lost)
        return;
    if (flags & MouseLeftDown)
        Button(1, true);
    if (flags & MouseLeftUp)
        Button(1, false);
    if (flags & MouseRightDown)
        Button(3, true);
    if (flags & MouseRightUp)
        Button(3, false);
    if ((flags & MouseWheel) && data != 0) {
        int clicks = CarryWheel(&wheel, data);
        Click(clicks > 0 ? 4 : 5, clicks > 0 ? clicks : -clicks);
    }
    XFlush(display);
    justRead = false;
    justPlaced = false;
}

static int ToCoordinate(int v) {
    return v < -32768 ? -32768 : (v > 32767 ? 32767 : v);
}

// The cursor's place on the root window, false when it is on another screen.
static bool QueryCursor(int *x, int *y) {
    Window rootReturn, child;
    int winX, winY;
    unsigned mask;

    *x = 0;
    *y = 0;
    return XQueryPointer(display, root, &rootReturn, &child, x, y, &winX, &winY, &mask);
}

// Coordinates go over the wire as 16 bits: the server would wrap a larger
// value rather than clamp it. The query after the warp is the round trip
// that makes the move complete when this returns (the server answers in
// order), and its answer is where the server put the cursor, clamped.
static void X11PlaceCursor(int x, int y) {
    bool there = justRead && x == readX && y == readY;

    justRead = false;
    justPlaced = false;
    if (there)
        return;
    XWarpPointer(display, None, root, 0, 0, 0, 0, ToCoordinate(x), ToCoordinate(y));
    justPlaced = QueryCursor(&placedX, &placedY);
    placedAtNs = NowNs();
}

static void X11ReadCursor(int *x, int *y) {
    if (justPlaced && NowNs() - placedAtNs < PlacedFreshNs) {
        *x = placedX;
        *y = placedY;
        justRead = true;
    } else {
        justRead = QueryCursor(x, y);
    }
    justPlaced = false;
    readX = *x;
    readY = *y;
}

static const MouseBackend backend = {CloseX11Mouse, X11SendMouseEvent, X11PlaceCursor,
                                     X11ReadCursor};

const MouseBackend *OpenX11Mouse(char *why, int room, bool *tell) {
    const char *wayland = std::getenv("WAYLAND_DISPLAY");
    const char *name = std::getenv("DISPLAY");
    int event, error, major, minor;

    *tell = false;
    if (wayland && *wayland) {
        std::snprintf(why, room, "WAYLAND_DISPLAY is set (%s): X11 reaches X programs only",
                      wayland);
        return nullptr;
    }
    if (!name || !*name) {
        std::snprintf(why, room, "DISPLAY is not set");
        return nullptr;
    }
    display = XOpenDisplay(name);
    if (!display) {
        std::snprintf(why, room, "cannot open display \"%s\"", name);
        return nullptr;
    }
    if (!XTestQueryExtension(display, &event, &error, &major, &minor)) {
        std::snprintf(why, room, "display \"%s\" has no XTEST extension", name);
        XCloseDisplay(display);
        display = nullptr;
        return nullptr;
    }
    // Under sudo, DISPLAY is kept and WAYLAND_DISPLAY dropped: the display
    // itself says that it lives in a Wayland session.
    if (IsXWayland(display)) {
        std::snprintf(
            why, room,
            "display \"%s\" is XWayland, in a Wayland session: X11 reaches X programs only", name);
        *tell = true;
        XCloseDisplay(display);
        display = nullptr;
        return nullptr;
    }
    XSetErrorHandler(ReportXError);
    XSetIOErrorHandler(ReportLostDisplay);
    root = DefaultRootWindow(display);
    wheel = WheelCarry{};
    lost = false;
    return &backend;
}
