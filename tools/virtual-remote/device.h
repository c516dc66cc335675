// The virtual remote's HID device, through the kernel's /dev/uhid.
#pragma once

#include "tools/virtual-remote/protocol.h"

#include <cstdint>

// What the kernel says to the device.
struct DeviceEvent {
    enum Kind { Other, Start, Stop, Open, Close, Output } kind;
    uint8_t report[256]; // Output: the report, id in report[0]
    int length;
};

// Opens /dev/uhid and creates a remote with these ids on the Bluetooth bus.
// -1, with one line on stderr saying what to do, when that cannot be done.
int CreateRemoteDevice(int product);
void DestroyRemoteDevice(int device);

// False when the kernel refuses the report (errno set).
bool SendInputReport(int device, const InputReport &report);

// Reads one event; false when the device cannot be read any more. Requests
// to get or set a report are answered here: an output report set that way
// comes back as an Output event, like one written.
bool ReadDeviceEvent(int device, DeviceEvent *event);
