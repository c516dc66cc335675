// The output reports the program sends the remote at start and at the end,
// as every suite expects them. Each is written as far as the remote reads
// it: its own length, and for a register write (0x16) the bytes its size
// byte covers; FromOneBuffer and WithZeroBlock give them as they travel.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

using Bytes = std::vector<uint8_t>;

// The IR camera set-up: the camera and its logic on, then six register
// writes (the camera's register block, the low address byte, the size
// byte, the data).
inline const std::vector<Bytes> expectedCameraSetUp = {
    {0x13, 0x04},
    {0x1A, 0x04},
    {0x16, 0x04, 0xB0, 0xFF, 0x30, 0x01, 0x01},
    {0x16, 0x04, 0xB0, 0xFF, 0x00, 0x07, 0x02, 0x00, 0x00, 0x71, 0x01, 0x00, 0xC8},
    {0x16, 0x04, 0xB0, 0xFF, 0x07, 0x02, 0x00, 0x36},
    {0x16, 0x04, 0xB0, 0xFF, 0x1A, 0x02, 0x35, 0x03},
    {0x16, 0x04, 0xB0, 0xFF, 0x33, 0x01, 0x03},
    {0x16, 0x04, 0xB0, 0xFF, 0x30, 0x01, 0x08},
};

// The reports before the control loop: mode 0x31 for the probe, LED 1, the
// camera set-up, mode 0x33.
inline std::vector<Bytes> ExpectedStartUp() {
    std::vector<Bytes> reports = {{0x12, 0x00, 0x31}, {0x11, 0x10}};
    reports.insert(reports.end(), expectedCameraSetUp.begin(), expectedCameraSetUp.end());
    reports.push_back({0x12, 0x00, 0x33});
    return reports;
}

// The quiet state at the end: camera and rumble off, camera logic off,
// buttons only (LED 1 stays lit).
inline const std::vector<Bytes> expectedQuiet = {{0x13, 0x00}, {0x1A, 0x00}, {0x12, 0x00, 0x30}};

inline std::vector<Bytes> Joined(std::vector<Bytes> a, const std::vector<Bytes> &b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

inline bool IsRegisterWrite(const Bytes &report) {
    return !report.empty() && report[0] == 0x16;
}

// The program's output buffer (22 bytes, never cleared) after these reports.
inline Bytes OutputBufferAfter(const std::vector<Bytes> &reports) {
    Bytes buffer(22, 0);
    for (const Bytes &r : reports)
        std::copy_n(r.begin(), std::min<size_t>(r.size(), buffer.size()), buffer.begin());
    return buffer;
}

// The reports as the program sends them from its one output buffer: a
// register write goes out whole, 22 bytes, carrying past its own bytes what
// the reports before it left in the buffer.
inline std::vector<Bytes> FromOneBuffer(const std::vector<Bytes> &reports) {
    std::vector<Bytes> sent;
    for (auto r = reports.begin(); r != reports.end(); r++)
        sent.push_back(IsRegisterWrite(*r) ? OutputBufferAfter({reports.begin(), r + 1}) : *r);
    return sent;
}

// The reports with each register write made whole with zeros, as a test
// that writes them itself sends them.
inline std::vector<Bytes> WithZeroBlock(std::vector<Bytes> reports) {
    for (Bytes &r : reports)
        if (IsRegisterWrite(r))
            r.resize(22);
    return reports;
}
