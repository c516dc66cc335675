// The least a program can do to put the cursor where a remote's report
// says: read a report, place the cursor at the midpoint of its two IR dots
// and wait for the server to have done it, until Home. No console, no
// smoothing, no D-pad, no buttons. The end-to-end benchmark runs it beside
// the program, on the same X server with the same scripted remote, and gives
// the program's figures as multiples of this one's. The remote sends dots
// only once told to: the floor sends the program's start-up reports, without
// waiting for the probe's answer.
#include "remote/tiny_hid_dll.h"
#include "tests/expected_reports.h"

#include <X11/Xlib.h>

#include <algorithm>
#include <cstdio>

int main() {
    unsigned char report[256] = {};
    unsigned int word = 0;
    Display *display = XOpenDisplay(nullptr);
    int handle = OpenHidHandle(0x057E, 0x0306);

    if (!display || handle == -1) {
        std::fputs("floor: no display or no remote\n", stderr);
        return 1;
    }
    // The program's start-up reports (the probe's mode, LED 1, the camera
    // set-up, the IR mode), so its log reads as the program's does.
    std::vector<Bytes> setUp = ExpectedStartUp();
    for (const Bytes &bytes : setUp) {
        unsigned char out[22] = {};
        std::copy(bytes.begin(), bytes.end(), out);
        WriteReport(handle, out, &word);
    }
    Window root = DefaultRootWindow(display);
    while (ReadReport(handle, report, &word) != -1) {
        if (report[0] != 0x33)
            continue;
        if (report[2] & 0x80) // Home
            break;
        // Each dot: x low, y low, then y and x high bits; mirrored across
        // the camera's 1024 columns.
        int x1 = report[6] | ((report[8] >> 4) & 3) << 8;
        int y1 = report[7] | ((report[8] >> 6) & 3) << 8;
        int x2 = report[9] | ((report[11] >> 4) & 3) << 8;
        int y2 = report[10] | ((report[11] >> 6) & 3) << 8;
        XWarpPointer(display, None, root, 0, 0, 0, 0, 1023 - (x1 + x2) / 2, (y1 + y2) / 2);
        XSync(display, False);
    }
    CloseHidHandle(handle);
    XCloseDisplay(display);
    return 0;
}
