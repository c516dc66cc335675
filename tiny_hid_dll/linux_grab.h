// Inside the Linux HID library: holding the input devices that the kernel's
// own driver for the remote makes from it.
#pragma once

// Most devices one remote gets from its driver.
constexpr int MaxHeldDevices = 8;

// Holds (EVIOCGRAB) the key devices that hang under the same HID device as
// this hidraw node, so the remote's buttons reach no one else while the
// program has it. Puts their descriptors in held; returns how many. A device
// that cannot be held is told on stderr, once, with what grants access.
int HoldRemoteKeyDevices(const char *hidrawPath, int held[MaxHeldDevices]);
void ReleaseRemoteKeyDevices(const int held[MaxHeldDevices], int count);
