// Inside the Linux HID library: sharing the remote with the kernel's own
// driver for it, when one is bound.
#pragma once

#include <atomic>
#include <cstdint>

// Most devices one remote gets from its driver.
constexpr int MaxHeldDevices = 8;

struct SharedRemote {
    bool withDriver;          // a driver made input devices of the remote
    int held[MaxHeldDevices]; // its key devices, held while the program has the remote
    int heldCount;
    // The reporting-mode report the program sent last, flags << 8 | mode;
    // 0 before the first. Written by the main thread, read by both readers.
    std::atomic<uint16_t> mode;
};

// Looks for the input devices a driver made of the remote (they hang under
// the same HID device as the hidraw node) and holds (EVIOCGRAB) those that
// report keys, so the remote's buttons reach no one else. A device that
// cannot be held is told on stderr, once, with the error.
void StartSharing(const char *hidrawPath, SharedRemote *shared);
// Lets go of the held devices.
void StopSharing(SharedRemote *shared);

// Remembers the reporting mode of an output report 0x12 the program sends.
void NoteOutputReport(SharedRemote *shared, const unsigned char *report);
// A data report of another mode than the program chose, while a driver
// shares the remote, means the driver has chosen its own: true, with the
// program's mode report (three bytes) to send again.
bool ModeTakenAway(const SharedRemote *shared, const unsigned char *report, int length,
                   unsigned char again[3]);
