// The unit tests' kit: builders for reports, the fixture that runs the
// control loop or the whole program, and what came out of them.
#pragma once

#include "app/control_loop.h"
#include "app/entry.h"
#include "platform/platform.h"
#include "remote/reports.h"
#include "tests/expected_reports.h"
#include "tests/recording_platform.h"
#include "tests/scripted_hid.h"
#include "tests/test_kit.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <iterator>
#include <tuple>
#include <vector>

// 0x31: buttons and accelerometer, as a remote answers the probe.
inline Bytes ProbeReport(uint8_t accelX = 0x80) {
    return {0x31, 0x00, 0x00, accelX, 0x80, 0x80};
}

// 0x33 with both dots out of view.
inline Bytes ButtonsReport(uint8_t buttons1, uint8_t buttons2) {
    Bytes r = {0x33, buttons1, buttons2, 0x80, 0x80, 0x80};
    r.resize(18, 0xFF);
    return r;
}

// 0x33 with two dots seen at these camera positions. Three bytes a dot:
// x low, y low, y high << 6 | x high << 4.
inline Bytes DotsReport(int x1, int y1, int x2, int y2, uint8_t buttons1 = 0,
                        uint8_t buttons2 = 0) {
    Bytes r = ButtonsReport(buttons1, buttons2);
    for (auto [at, x, y] : {std::tuple{6, x1, y1}, std::tuple{9, x2, y2}}) {
        r[at] = static_cast<uint8_t>(x);
        r[at + 1] = static_cast<uint8_t>(y);
        r[at + 2] = static_cast<uint8_t>(((y >> 8) << 6) | ((x >> 8) << 4));
    }
    return r;
}

inline Bytes HomeReport() {
    return ButtonsReport(0x00, 0x80);
}

// 0x20: a status report (battery level, no extension).
inline Bytes StatusReport() {
    return {0x20, 0x00, 0x00, 0x02, 0x00, 0x00, 0xC8};
}

// Button reports (0x33, no dots), each pair of button bytes held for its
// number of passes, in order.
struct Hold {
    uint8_t buttons1, buttons2;
    int passes;
};
inline std::vector<Bytes> Holding(const std::vector<Hold> &holds) {
    std::vector<Bytes> reports;
    for (const Hold &h : holds)
        reports.insert(reports.end(), static_cast<size_t>(h.passes),
                       ButtonsReport(h.buttons1, h.buttons2));
    return reports;
}

// How many reads the scripted remote has served.
inline size_t ScriptedReads() {
    return ScriptedEvents(HidEvent::Read).size();
}

// Every test starts from a fresh remote, platform and process-wide records.
class LumadrifterTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ResetScriptedRemote();
        ResetRecordingPlatform();
        remoteLink = RemoteLink();
        remoteState = RemoteState();
        remoteLink.handle = 7;
    }

    // A reader thread still asleep (a session's sleeps outlast the case)
    // would wake in a later case's probe window and read there: a case ends
    // once every thread it started has.
    void TearDown() override {
        EXPECT_TRUE(WaitUntil([] {
            std::filesystem::directory_iterator tasks("/proc/self/task");
            return std::distance(begin(tasks), end(tasks)) == 1;
        })) << "a thread outlived the case";
    }

    // Serves these reports to the control loop, then Home, and runs it.
    LoopEnd RunPasses(const std::vector<Bytes> &reports) {
        for (const Bytes &r : reports)
            ScriptReport(0, r);
        ScriptReport(0, HomeReport());
        return RunControlLoop();
    }

    // A remote that answers the probe, then sends these reports. The
    // reader's sleep after the probe's answer outlasts even a window that a
    // busy machine closes late, so it never reads a report meant for the
    // control loop.
    void ScriptSession(const std::vector<Bytes> &reports) {
        CutThreadSleeps(1000);
        remoteLink.handle = 0;
        ScriptReport(50, ProbeReport());
        for (const Bytes &r : reports)
            ScriptReport(1, r);
    }

    // The whole program against that remote, Home sent last.
    int RunSession(const std::vector<Bytes> &reports) {
        ScriptSession(reports);
        ScriptReport(1, HomeReport());
        return RunLumadrifter();
    }

    // The mouse events of the wheel (its amounts) or of the buttons (their
    // flags).
    std::vector<int> WheelAmounts() const {
        std::vector<int> amounts;
        for (const MouseEventRecord &e : recording.mouseEvents)
            if (e.flags == MouseWheel)
                amounts.push_back(e.data);
        return amounts;
    }
    std::vector<unsigned> ButtonFlags() const {
        std::vector<unsigned> flags;
        for (const MouseEventRecord &e : recording.mouseEvents)
            if (e.flags != MouseWheel)
                flags.push_back(e.flags);
        return flags;
    }

    // The output reports, each cut to the length the remote takes.
    std::vector<Bytes> SentReports() const {
        std::vector<Bytes> sent;
        for (const HidEvent &e : ScriptedEvents(HidEvent::Write))
            sent.emplace_back(e.bytes.begin(), e.bytes.begin() + e.length);
        return sent;
    }
};
