// Builders for readable tests: reports, sessions and what came out of them.
#pragma once

#include "app/control_loop.h"
#include "tests/recording_platform.h"
#include "tests/scripted_hid.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

using Bytes = std::vector<uint8_t>;

// 0x31: buttons and accelerometer, as a remote answers the probe.
Bytes ProbeReport(uint8_t accelX = 0x80);
// 0x33 with both dots out of view.
Bytes ButtonsReport(uint8_t buttons1, uint8_t buttons2);
// 0x33 with two dots seen at these camera positions.
Bytes DotsReport(int x1, int y1, int x2, int y2, uint8_t buttons1 = 0, uint8_t buttons2 = 0);
Bytes HomeReport();
// 0x20: a status report (battery level, no extension).
Bytes StatusReport();

// Button reports (0x33, no dots), each pair of button bytes held for its
// number of passes, in order.
struct Hold {
    uint8_t buttons1, buttons2;
    int passes;
};
std::vector<Bytes> Holding(std::initializer_list<Hold> holds);

// How many reads the scripted remote has served.
inline size_t ScriptedReads() {
    return ScriptedEvents(HidEvent::Read).size();
}

// Every test starts from a fresh remote, platform and process-wide records.
class LumadrifterTest : public ::testing::Test {
  protected:
    void SetUp() override;

    // Serves these reports to the control loop, then Home, and runs it.
    LoopEnd RunPasses(const std::vector<Bytes> &reports);
    // The whole program against a remote that answers the probe, then
    // sends these reports and Home.
    int RunSession(const std::vector<Bytes> &reports);

    std::vector<int> WheelAmounts() const;
    std::vector<unsigned> ButtonFlags() const;
    // The output reports, each cut to the length the remote takes.
    std::vector<Bytes> SentReports() const;
};
