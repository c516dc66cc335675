// Mouse and cursor through a virtual pointer made with /dev/uinput, for
// Wayland sessions and the console: left and right buttons, a wheel with its
// hi-res axis, and absolute X and Y in pixels over the screen.
//
// Nothing can be asked of the system about where the cursor is, so the layer
// keeps the position it last set, clamped to the screen as the system does.
#include "platform/linux_mouse_backends.h"
#include "platform/linux_screen_area.h"
#include "platform/linux_uinput_frames.h"

#include <libevdev/libevdev-uinput.h>
#include <libevdev/libevdev.h>

#include <cstdio>
#include <cstring>

static libevdev_uinput *device;
static UinputPointer pointer;

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

static void CloseUinputMouse() {
    if (device)
        libevdev_uinput_destroy(device);
    device = nullptr;
}

static void Send(const input_event *events, int count) {
    for (int i = 0; i < count; i++)
        libevdev_uinput_write_event(device, events[i].type, events[i].code, events[i].value);
}

static void UinputSendMouseEvent(unsigned flags, int data) {
    input_event events[MaxPointerEvents];
    Send(events, EncodeMouseEvent(&pointer, flags, data, events));
}

static void UinputPlaceCursor(int x, int y) {
    input_event events[MaxPointerEvents];
    Send(events, EncodePlacement(&pointer, x, y, events));
}

static void UinputReadCursor(int *x, int *y) {
    *x = pointer.x;
    *y = pointer.y;
}

static const MouseBackend backend = {CloseUinputMouse, UinputSendMouseEvent, UinputPlaceCursor,
                                     UinputReadCursor};

const MouseBackend *OpenUinputMouse(char *why, int room) {
    // A compositor maps an absolute device over the box of all its outputs
    // (weston: onto one output), so the axes span that box in logical
    // pixels and (0, 0) is its top-left corner. The layout is the one at
    // start. Without a session to ask, the screen's size in /sys/class/drm.
    OutputArea box;
    if (ReadWaylandLayout(&box)) {
        pointer.width = box.width;
        pointer.height = box.height;
    } else {
        ReadScreenSize("/sys/class/drm", &pointer.width, &pointer.height);
    }
    pointer.x = pointer.width / 2;
    pointer.y = pointer.height / 2;
    pointer.wheelRest = 0;

    libevdev *dev = DescribePointer(pointer.width, pointer.height);
    int rc = libevdev_uinput_create_from_device(dev, LIBEVDEV_UINPUT_OPEN_MANAGED, &device);
    libevdev_free(dev);
    if (rc < 0) {
        device = nullptr;
        std::snprintf(why, room, "cannot open /dev/uinput: %s", std::strerror(-rc));
        return nullptr;
    }
    return &backend;
}
