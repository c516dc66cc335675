// The remote's report protocol: the output reports the program sends, the
// decoding of input reports, and the two process-wide records.
#pragma once

#include <cstdint>

struct RemoteLink {
    int32_t handle; // from OpenHidHandle; -1 means no device
    unsigned char input[256];
    unsigned char output[256]; // never cleared: later bytes keep what earlier reports left
    uint32_t readWord;
    uint32_t writeWord;
};

struct RemoteState {
    uint8_t buttons1; // 0x01 left, 0x02 right, 0x04 down, 0x08 up, 0x10 Plus
    uint8_t buttons2; // 0x01 Two, 0x02 One, 0x04 B, 0x08 A, 0x10 Minus, 0x80 Home
    uint8_t accelX;
    int32_t dot1X, dot1Y; // 0..1023; X 1023 means not seen
    int32_t dot2X, dot2Y;
};

// A register write's payload: [0] address low byte, [1..16] data.
using RegisterBlock = uint8_t[17];

extern RemoteLink remoteLink;
extern RemoteState remoteState;

void SetLeds(int leds);
void SetReportMode(int flags, int mode);
void SetIrCamera(int value);
void SetIrCamera2(int value);
void WriteRegister(int addressHigh, int length, const RegisterBlock &block);
// SetIrCamera(0x00), SetIrCamera2(0x00), SetReportMode(0x00, 0x30) from a
// buffer of its own, without taking the output lock: for an end, which holds
// it (platform.h).
void SendQuietStateAside();
// SetReportMode(0x00, 0x33) from a buffer of its own, for the reader thread,
// which holds the output lock around it (platform.h).
void SelectCameraModeAside();

// Reads one input report and decodes it into remoteState. Returns the
// report's id, or -1 when the remote has gone away (nothing is decoded then).
int ReadRemote();
