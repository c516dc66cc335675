#include "tools/virtual-remote/protocol.h"

#include <cstring>

void ResetVirtualRemote(VirtualRemote &remote) {
    remote = VirtualRemote{};
    // Held still, face up: the accelerometer reads about 0x80 on the
    // level axes and a little more on the one gravity pulls.
    remote.accel[0] = 0x80;
    remote.accel[1] = 0x80;
    remote.accel[2] = 0x9A;
    remote.battery = 0xC8;
    remote.mode = 0x30;
    remote.reporting = true;
    // Just connected, it has nothing new to say: its first data report
    // waits for a change.
    NextDataReport(remote, false);
}

int OutputReportLength(uint8_t id) {
    switch (id) {
    case 0x10: // rumble
    case 0x11: // LEDs
    case 0x13: // camera clock
    case 0x14: // speaker on
    case 0x15: // status request
    case 0x19: // speaker mute
    case 0x1A: // camera logic
        return 2;
    case 0x12: // reporting mode
        return 3;
    case 0x17: // memory read
        return 7;
    case 0x16: // memory write
    case 0x18: // speaker data
        return 22;
    default:
        return 0;
    }
}

int InputReportLength(uint8_t id) {
    switch (id) {
    case 0x20: // status
        return 7;
    case 0x22: // acknowledgement
        return 5;
    case 0x30:
        return 3;
    case 0x31:
        return 6;
    case 0x32:
        return 11;
    case 0x33:
        return 18;
    case 0x21: // memory data
    case 0x34:
    case 0x35:
    case 0x36:
    case 0x37:
    case 0x3D:
    case 0x3E: // the two halves of the interleaved mode
    case 0x3F:
        return 22;
    default:
        return 0;
    }
}

static InputReport StartInputReport(const VirtualRemote &remote, uint8_t id) {
    InputReport report{};
    report.bytes[0] = id;
    report.bytes[1] = remote.buttons[0];
    report.bytes[2] = remote.buttons[1];
    report.length = InputReportLength(id);
    return report;
}

static void Answer(Answers &answers, const InputReport &report) {
    if (answers.count < 16)
        answers.reports[answers.count++] = report;
}

// Input report 0x22, an acknowledgement:
//   [1..2] buttons  [3] the output report's id  [4] error, 0 when done
static void Acknowledge(const VirtualRemote &remote, uint8_t id, uint8_t error, Answers &answers) {
    InputReport ack = StartInputReport(remote, 0x22);
    ack.bytes[3] = id;
    ack.bytes[4] = error;
    Answer(answers, ack);
}

// Input report 0x20, the status:
//   [1..2] buttons  [3] flags: 0x01 battery low, 0x02 extension, 0x04 speaker,
//   0x08 camera, 0x10..0x80 LEDs 1 to 4  [4..5] zero  [6] battery level
InputReport StatusReport(VirtualRemote &remote) {
    InputReport status = StartInputReport(remote, 0x20);
    status.bytes[3] = remote.leds;
    if (remote.speakerOn)
        status.bytes[3] |= 0x04;
    if (remote.cameraClock && remote.cameraLogic)
        status.bytes[3] |= 0x08;
    if (remote.battery < 0x20)
        status.bytes[3] |= 0x01;
    status.bytes[6] = remote.battery;
    remote.reporting = false;
    return status;
}

// Output report 0x16, a memory write:
//   [1] 0x04 registers, else EEPROM  [2..4] address  [5] size, 1 to 16  [6..21] data
// The camera's registers take only the address's low byte; the middle one
// is not decoded. Writes elsewhere are taken and forgotten.
static void WriteMemory(VirtualRemote &remote, const uint8_t *report, Answers &answers) {
    int size = report[5];
    if (size < 1 || size > 16) {
        Acknowledge(remote, 0x16, 0x08, answers);
        return;
    }
    if ((report[1] & 0x04) && report[2] == 0xB0) {
        for (int i = 0; i < size && report[4] + i < 256; i++)
            remote.camera[report[4] + i] = report[6 + i];
    }
    Acknowledge(remote, 0x16, 0x00, answers);
}

// Input report 0x21, memory data, 16 bytes at most a report:
//   [1..2] buttons  [3] (size - 1) << 4 | error  [4..5] address, low 16 bits  [6..21] data
// Errors: 7 nothing attached to read from, 8 no such address.
static void ReadMemory(VirtualRemote &remote, const uint8_t *report, Answers &answers) {
    bool registers = report[1] & 0x04;
    int address = report[2] << 16 | report[3] << 8 | report[4];
    int size = report[5] << 8 | report[6];
    uint8_t error = 0;
    if (registers && (report[2] == 0xA4 || report[2] == 0xA6))
        error = 0x07; // no extension, no motion sensor plugged in
    else if (registers && report[2] != 0xB0)
        error = 0x08;

    for (int offset = 0; offset < size && answers.count < 16; offset += 16) {
        int chunk = size - offset < 16 ? size - offset : 16;
        InputReport data = StartInputReport(remote, 0x21);
        data.bytes[3] = static_cast<uint8_t>((error ? 0 : chunk - 1) << 4 | error);
        data.bytes[4] = static_cast<uint8_t>((address + offset) >> 8);
        data.bytes[5] = static_cast<uint8_t>(address + offset);
        for (int i = 0; i < chunk && !error && registers; i++)
            data.bytes[6 + i] = remote.camera[(report[4] + offset + i) & 0xFF];
        Answer(answers, data);
        if (error)
            break;
    }
}

// Output report 0x12, the reporting mode: [1] flags, 0x04 continuous  [2] mode.
// A mode this remote does not model (not a data report, or the interleaved
// one) leaves the old one in place.
static void SelectMode(VirtualRemote &remote, const uint8_t *report) {
    if (InputReportLength(report[2]) == 0 || report[2] < 0x30 || report[2] > 0x3D)
        return;
    remote.mode = report[2];
    remote.continuous = report[1] & 0x04;
    remote.reporting = true;
    remote.lastLength = 0; // the new mode's first report goes out at once
}

// Every output report: [0] id  [1] flags: 0x01 rumble, 0x02 acknowledge,
// 0x04 the report's own switch (camera, speaker, mute, continuous).
void TakeOutputReport(VirtualRemote &remote, const uint8_t *report, int length, Answers &answers) {
    uint8_t id = report[0];
    if (OutputReportLength(id) == 0 || length < OutputReportLength(id))
        return;

    bool on = report[1] & 0x04;
    remote.rumble = report[1] & 0x01;
    switch (id) {
    case 0x11:
        remote.leds = report[1] & 0xF0;
        break;
    case 0x12:
        SelectMode(remote, report);
        break;
    case 0x13:
        remote.cameraClock = on;
        break;
    case 0x14:
        remote.speakerOn = on;
        break;
    case 0x15:
        Answer(answers, StatusReport(remote));
        return;
    case 0x16:
        WriteMemory(remote, report, answers);
        return;
    case 0x17:
        ReadMemory(remote, report, answers);
        return;
    case 0x19:
        remote.speakerMuted = on;
        break;
    case 0x1A:
        remote.cameraLogic = on;
        break;
    }
    if (report[1] & 0x02)
        Acknowledge(remote, id, 0x00, answers);
}

bool CameraSendsDots(const VirtualRemote &remote) {
    return remote.cameraClock && remote.cameraLogic && remote.camera[0x30] == 0x08 &&
           remote.camera[0x33] == 3;
}

// One dot, three bytes: x low, y low, then y high (bits 7..6), x high
// (bits 5..4) and size (bits 3..0). A dot not seen is FF FF FF.
void EncodeDot(const CameraDot &dot, uint8_t out[3]) {
    if (!dot.seen) {
        out[0] = out[1] = out[2] = 0xFF;
        return;
    }
    out[0] = static_cast<uint8_t>(dot.x);
    out[1] = static_cast<uint8_t>(dot.y);
    out[2] = static_cast<uint8_t>((dot.y >> 8 & 3) << 6 | (dot.x >> 8 & 3) << 4 | (dot.size & 15));
}

// Data reports; all but 0x3D start with the two button bytes:
//   0x30 buttons                       0x34 buttons, 19 extension bytes
//   0x31 buttons, accel [3..5]         0x35 buttons, accel, 16 extension bytes
//   0x32 buttons, 8 extension bytes    0x36 buttons, 10 IR bytes, 9 extension bytes
//   0x33 buttons, accel, 12 IR bytes   0x37 buttons, accel, 10 IR, 6 extension
//   0x3D 21 extension bytes
// Only the 12-byte IR format is sent, 3 bytes a dot for four dots, and only
// when the camera is set up for it; IR bytes read FF otherwise. There is no
// extension: its bytes are zero.
static InputReport DataReport(const VirtualRemote &remote) {
    InputReport data = StartInputReport(remote, remote.mode);
    if (remote.mode == 0x3D) {
        data.bytes[1] = data.bytes[2] = 0;
        return data;
    }
    int next = 3;
    if (remote.mode & 0x01) {
        std::memcpy(data.bytes + 3, remote.accel, 3);
        next = 6;
    }
    if (remote.mode == 0x33) {
        for (int i = 0; i < 4; i++) {
            CameraDot dot = remote.dots[i];
            dot.seen = dot.seen && CameraSendsDots(remote);
            EncodeDot(dot, data.bytes + 6 + 3 * i);
        }
    } else if (remote.mode == 0x36 || remote.mode == 0x37) {
        std::memset(data.bytes + next, 0xFF, 10);
    }
    return data;
}

InputReport NextDataReport(VirtualRemote &remote, bool tick) {
    InputReport none{};
    if (!remote.reporting)
        return none;

    InputReport data = DataReport(remote);
    bool changed = data.length != remote.lastLength ||
                   std::memcmp(data.bytes, remote.lastReport, data.length) != 0;
    if (!changed && !(remote.continuous && tick))
        return none;
    std::memcpy(remote.lastReport, data.bytes, sizeof data.bytes);
    remote.lastLength = data.length;
    return data;
}
