// What a remote answers: the state of a virtual remote, the output reports it
// takes and the input reports it sends back.
//
// Plain functions on one record, no input or output of their own, so the
// protocol can be tested without a kernel.
#pragma once

#include <cstdint>

// A dot the camera sees: position in camera pixels (0..1023 x, 0..767 y)
// and its size (0..15). A dot with seen false reads as FF FF FF.
struct CameraDot {
    bool seen;
    int x, y;
    int size;
};

struct VirtualRemote {
    // What the person holding the remote does.
    uint8_t buttons[2]; // as in every data report: [0] D-pad and Plus, [1] the rest
    uint8_t accel[3];   // X, Y, Z
    CameraDot dots[4];
    uint8_t battery;

    // What the host has set.
    uint8_t leds; // high nibble, LED 1 in 0x10
    bool rumble;
    bool speakerOn, speakerMuted;
    bool cameraClock, cameraLogic; // output reports 0x13 and 0x1A
    uint8_t camera[256];           // the camera's registers, by the address's low byte
    uint8_t mode;                  // data reporting mode, 0x30 after power-on
    bool continuous;
    bool reporting; // off after a status report until a mode is selected again

    // The last data report sent, to tell whether the data changed.
    uint8_t lastReport[22];
    int lastLength;
};

// An input report, id in bytes[0].
struct InputReport {
    uint8_t bytes[22];
    int length;
};

// Answers to one output report: acknowledgements, a status report, memory
// data. A read is answered 16 bytes a report, up to 16 reports.
struct Answers {
    InputReport reports[16];
    int count;
};

// A remote just switched on: buttons released, held still, no dots seen,
// reporting mode 0x30, camera off.
void ResetVirtualRemote(VirtualRemote &remote);

// The length a real remote gives a report, report id included; 0 for an id
// it does not know.
int OutputReportLength(uint8_t id);
int InputReportLength(uint8_t id);

// Takes one output report as the host sent it (id in report[0]) and appends
// what the remote answers to answers. A report shorter than its id's length,
// or of an unknown id, changes nothing and is not answered.
void TakeOutputReport(VirtualRemote &remote, const uint8_t *report, int length, Answers &answers);

// The status report 0x20. Sending it stops the data reports until the host
// selects a reporting mode again, as a real remote does.
InputReport StatusReport(VirtualRemote &remote);

// The data report due now, if any: length 0 when none. Without the
// continuous flag a report goes out only when its bytes differ from the last
// one sent; with it, also on every tick of the remote's clock.
InputReport NextDataReport(VirtualRemote &remote, bool tick);

// One dot in the camera's three-byte format.
void EncodeDot(const CameraDot &dot, uint8_t out[3]);

// The camera sends dots once it is clocked, powered, its set-up closed
// (register 0x30 set to 0x08) and its output mode (register 0x33) is 3.
bool CameraSendsDots(const VirtualRemote &remote);
