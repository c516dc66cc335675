#include "remote/reports.h"

#include "platform/platform.h"
#include "remote/tiny_hid_dll.h"

RemoteLink remoteLink;
RemoteState remoteState;

// Under the output lock (platform.h).
static void SendOutputReport() {
    LockOutput();
    WriteReport(remoteLink.handle, remoteLink.output, &remoteLink.writeWord);
    UnlockOutput();
}

// An end's quiet state (platform.h): camera and rumble off, buttons only. The
// reports are composed apart, as the shared buffer may be half-written and
// what it holds is part of every later report.
void SendQuietStateAside() {
    static const unsigned char quiet[3][3] = {{0x13, 0x00}, {0x1A, 0x00}, {0x12, 0x00, 0x30}};
    static unsigned char report[256];
    unsigned int word = 0;

    for (const unsigned char *q : quiet) {
        for (int i = 0; i < 3; i++)
            report[i] = q[i];
        WriteReport(remoteLink.handle, report, &word);
    }
}

// The reader thread's answer to a status report: mode 0x33 again, rumble
// off, as the control loop answers one. Composed apart, as the main thread
// fills the shared buffer without a lock. The caller holds the output lock
// (platform.h).
void SelectCameraModeAside() {
    unsigned char report[256] = {0x12, 0x00, 0x33};
    unsigned int word = 0;

    WriteReport(remoteLink.handle, report, &word);
}

// Output report 0x11: [1] LEDs in the high nibble, rumble in bit 0.
void SetLeds(int leds) {
    remoteLink.output[0] = 0x11;
    remoteLink.output[1] = static_cast<uint8_t>(leds);
    SendOutputReport();
}

// Output report 0x12: [1] flags (0x04 continuous, 0x01 rumble)  [2] mode.
void SetReportMode(int flags, int mode) {
    remoteLink.output[0] = 0x12;
    remoteLink.output[1] = static_cast<uint8_t>(flags);
    remoteLink.output[2] = static_cast<uint8_t>(mode);
    SendOutputReport();
}

// Output report 0x13: [1] 0x04 camera clock on, 0x01 rumble. The rumble bit
// rides in the first payload byte of every output report, so a rumble pulse
// is sent through this one.
void SetIrCamera(int value) {
    remoteLink.output[0] = 0x13;
    remoteLink.output[1] = static_cast<uint8_t>(value);
    SendOutputReport();
}

// Output report 0x1A: [1] 0x04 camera logic on.
void SetIrCamera2(int value) {
    remoteLink.output[0] = 0x1A;
    remoteLink.output[1] = static_cast<uint8_t>(value);
    SendOutputReport();
}

// Output report 0x16, a write into the register space:
//   [0] 0x16  [1] 0x04 registers  [2..4] address high, 0xFF, low
//   [5] size  [6..21] data; all 16 block bytes go out, past the size too
void WriteRegister(int addressHigh, int length, const RegisterBlock &block) {
    unsigned char *out = remoteLink.output;

    out[0] = 0x16;
    out[1] = 0x04;
    out[2] = static_cast<uint8_t>(addressHigh);
    out[3] = 0xFF;
    out[4] = block[0];
    out[5] = static_cast<uint8_t>(length - 1);
    for (int i = 0; i < 16; i++)
        out[6 + i] = block[1 + i];
    SendOutputReport();
}

// One IR dot, three bytes: x low, y low, then y high (bits 7..6), x high
// (bits 5..4) and the dot's size (bits 3..0). FF FF FF is a dot not seen.
static void DecodeDot(const unsigned char *dot, int32_t *x, int32_t *y) {
    *x = dot[0] + ((dot[2] & 0x30) << 4);
    *y = dot[1] + ((dot[2] & 0xC0) << 2);
}

// Data reports 0x30..0x3F:
//   [0] id  [1] buttons1  [2] buttons2
//   [3] accel X (ids with bit 0x01)
//   [6..8] dot 1  [9..11] dot 2  (ids with bit 0x02; dots 3 and 4 unused)
// Status (0x20), acknowledgement (0x22) and memory reports change nothing.
int ReadRemote() {
    const unsigned char *in = remoteLink.input;

    if (ReadReport(remoteLink.handle, remoteLink.input, &remoteLink.readWord) == -1)
        return -1;

    int id = in[0];
    if ((id & 0xF0) != 0x30)
        return id;

    remoteState.buttons1 = in[1];
    remoteState.buttons2 = in[2];
    if (id & 0x01)
        remoteState.accelX = in[3];
    if (id & 0x02) {
        DecodeDot(in + 6, &remoteState.dot1X, &remoteState.dot1Y);
        DecodeDot(in + 9, &remoteState.dot2X, &remoteState.dot2Y);
    }
    return id;
}
