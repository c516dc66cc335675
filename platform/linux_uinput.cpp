// Mouse and cursor through a virtual pointer made with /dev/uinput, for
// Wayland sessions and the console: left and right buttons, a wheel with its
// hi-res axis, and absolute X and Y in pixels over the screen.
//
// Nothing can be asked of the system about where the cursor is, so the layer
// keeps the position it last set, clamped to the screen as the system does.
#include "platform/held_buttons.h"
#include "platform/linux_mouse_backends.h"
#include "platform/linux_screen_area.h"
#include "platform/linux_uinput_frames.h"
#include "platform/platform.h"

#include <libevdev/libevdev-uinput.h>
#include <libevdev/libevdev.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

// Under the output lock: the device, where the program put the cursor on
// it, the layout's box its axes span ((0, 0) is the box's top-left corner)
// and whether that box is only a guess; whether the mouse is being closed.
static libevdev_uinput *device;
static UinputPointer pointer;
static OutputArea spanned;
static bool guessed;
static bool closing;
// The thread that follows the session's layout, or 0.
static ThreadHandle follower;

// The device declares a middle button it never sends: libinput emulates a
// middle button on a device with left and right only, holding each press
// back for its timeout and turning B and A held together into a middle
// click. With one declared, every press goes through at once, as sent.
libevdev *DescribePointer(int width, int height) {
    libevdev *dev = libevdev_new();
    input_absinfo x = {0, 0, width - 1, 0, 0, 0};
    input_absinfo y = {0, 0, height - 1, 0, 0, 0};

    libevdev_set_name(dev, "Lumadrifter pointer");
    libevdev_enable_event_code(dev, EV_KEY, BTN_LEFT, nullptr);
    libevdev_enable_event_code(dev, EV_KEY, BTN_RIGHT, nullptr);
    libevdev_enable_event_code(dev, EV_KEY, BTN_MIDDLE, nullptr);
    libevdev_enable_event_code(dev, EV_REL, REL_WHEEL, nullptr);
    libevdev_enable_event_code(dev, EV_REL, REL_WHEEL_HI_RES, nullptr);
    libevdev_enable_event_code(dev, EV_ABS, ABS_X, &x);
    libevdev_enable_event_code(dev, EV_ABS, ABS_Y, &y);
    return dev;
}

// A device on uinput, an open /dev/uinput of its own; a negative errno on
// failure, with fd closed.
static int MakeDevice(int fd, int width, int height, libevdev_uinput **made) {
    libevdev *dev = DescribePointer(width, height);
    int rc = libevdev_uinput_create_from_device(dev, fd, made);
    libevdev_free(dev);
    if (rc < 0)
        close(fd);
    return rc;
}

static void Destroy(libevdev_uinput *d) {
    int fd = libevdev_uinput_get_fd(d);
    libevdev_uinput_destroy(d);
    close(fd);
}

static void Send(libevdev_uinput *to, const input_event *events, int count) {
    for (int i = 0; i < count; i++)
        libevdev_uinput_write_event(to, events[i].type, events[i].code, events[i].value);
}

// A device replaced while the program held a button: the button stays down
// on it, as the desktop saw it pressed, and every button event goes to it
// until none is held; then it goes. A desktop takes a new device a moment
// after it appears and drops what came before, so a press sent again on the
// new device could be lost, and the old device's end would let go of it.
static libevdev_uinput *lingering;
static unsigned lingeringHeld; // as MouseLeftDown and MouseRightDown

static void UinputSendMouseEvent(unsigned flags, int data) {
    const unsigned buttons = MouseLeftDown | MouseLeftUp | MouseRightDown | MouseRightUp;
    input_event events[MaxPointerEvents];

    if (lingering && (flags & buttons)) {
        Send(lingering, events, EncodeMouseEvent(&pointer, flags & buttons, 0, events));
        lingeringHeld = ButtonsAfter(lingeringHeld, flags);
        if (!lingeringHeld) {
            Destroy(lingering);
            lingering = nullptr;
        }
        flags &= ~buttons;
    }
    Send(device, events, EncodeMouseEvent(&pointer, flags, data, events));
}

static void UinputPlaceCursor(int x, int y) {
    input_event events[MaxPointerEvents];
    Send(device, events, EncodePlacement(&pointer, x, y, events));
}

static void UinputReadCursor(int *x, int *y) {
    *x = pointer.x;
    *y = pointer.y;
}

// A device's axis ranges are fixed when it is made: for a new box, a new
// device takes the old one's place under the lock, the cursor where it was.
// It is made, and the old one destroyed, outside the lock, so that the
// control loop waits for a few writes only; with a button held, the old one
// lingers instead.
static void Span(OutputArea box) {
    libevdev_uinput *made = nullptr;
    int fd = open("/dev/uinput", O_RDWR | O_CLOEXEC);
    int rc = fd < 0 ? -errno : MakeDevice(fd, box.width, box.height, &made);
    if (rc < 0) {
        std::fprintf(stderr,
                     "lumadrifter: cannot make the virtual mouse anew for the screens' new "
                     "layout (%dx%d): %s; it keeps the old one's.\n",
                     box.width, box.height, std::strerror(-rc));
        return;
    }
    libevdev_uinput *old = made;
    LockOutput();
    if (!closing) {
        input_event events[MaxPointerEvents];
        old = device;
        device = made;
        Send(device, events, EncodeNewBox(&pointer, spanned, guessed, box, events));
        spanned = box;
        guessed = false;
        if (!lingering && HeldButtons()) {
            lingering = old;
            lingeringHeld = HeldButtons();
            old = nullptr;
        }
    }
    UnlockOutput();
    if (old)
        Destroy(old);
}

// Runs with the signals blocked: it inherits the main thread's mask, set
// before any thread started.
static void FollowLayout(void *) {
    OutputArea box;

    while (NextWaylandLayout(&box))
        Span(box);
}

static void CloseUinputMouse() {
    closing = true;
    if (follower) {
        // It ends at its next look, or at once if it waits for the session;
        // it never holds the lock when it can be waited for, so it is let go.
        StopWaylandLayout();
        ReleaseThread(follower);
        follower = 0;
    }
    if (lingering)
        Destroy(lingering);
    lingering = nullptr;
    if (device)
        Destroy(device);
    device = nullptr;
}

static const MouseBackend backend = {CloseUinputMouse, UinputSendMouseEvent, UinputPlaceCursor,
                                     UinputReadCursor};

// The line that says the layout is a guess, and which.
static void TellGuess(const char *why, bool fromMode) {
    std::fprintf(stderr,
                 "lumadrifter: the compositor did not describe its screens (%s); the mouse covers "
                 "%dx%d, %s.\n",
                 why, pointer.width, pointer.height,
                 fromMode ? "the first display's mode" : "as no display's mode could be read");
}

const MouseBackend *OpenUinputMouse(char *why, int room) {
    int fd = open("/dev/uinput", O_RDWR | O_CLOEXEC);
    if (fd < 0) {
        std::snprintf(why, room, "cannot open /dev/uinput: %s", std::strerror(errno));
        return nullptr;
    }
    // A compositor maps an absolute device over the box of all its outputs
    // (weston: onto one output), so the axes span that box in logical
    // pixels and (0, 0) is its top-left corner. Without a session that
    // describes it, the screen's size in /sys/class/drm, until the session
    // does.
    const char *failure = nullptr;
    bool fromMode = false;
    guessed = !ReadWaylandLayout(&spanned, &failure);
    if (guessed) {
        spanned = {0, 0, 0, 0};
        fromMode = ReadScreenSize("/sys/class/drm", &spanned.width, &spanned.height);
    }
    pointer =
        UinputPointer{spanned.width, spanned.height, spanned.width / 2, spanned.height / 2, 0};

    int rc = MakeDevice(fd, spanned.width, spanned.height, &device);
    if (rc < 0) {
        device = nullptr;
        CloseWaylandLayout();
        std::snprintf(why, room, "cannot open /dev/uinput: %s", std::strerror(-rc));
        return nullptr;
    }
    if (guessed)
        TellGuess(failure, fromMode);
    closing = false;
    follower = ListeningToWayland() ? StartThread(FollowLayout) : 0;
    if (!follower)
        CloseWaylandLayout();
    return &backend;
}
