// The unit tests' kit: the fixture that runs the control loop or the whole
// program, its builders for reports, and what came out of a run.
#pragma once

#include "app/control_loop.h"
#include "app/entry.h"
#include "platform/platform.h"
#include "remote/reports.h"
#include "tests/expected_reports.h"
#include "tests/recording_platform.h"
#include "tests/remote_log.h"
#include "tests/scripted_hid.h"
#include "tests/test_kit.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include <unistd.h>

// Button reports (0x33, no dots), each pair of button bytes held for its
// number of passes, in order.
struct Hold {
    uint8_t buttons1, buttons2;
    int passes;
};

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
    // once every thread that read from the remote has.
    void TearDown() override {
        for (const HidEvent &e : ScriptedEvents(HidEvent::Read))
            EXPECT_TRUE(e.thread == getpid() || WaitUntil([&] { return Ended(e.thread); }))
                << "the thread " << e.thread << " outlived the case";
    }
    static bool Ended(int thread) {
        return !std::filesystem::exists("/proc/self/task/" + std::to_string(thread));
    }

    // 0x31: buttons and accelerometer, as a remote answers the probe.
    static Bytes ProbeReport(uint8_t accelX = 0x80) { return {0x31, 0, 0, accelX, 0x80, 0x80}; }
    // 0x20: a status report (battery level, no extension).
    static Bytes StatusReport() { return {0x20, 0x00, 0x00, 0x02, 0x00, 0x00, 0xC8}; }
    static Bytes HomeReport() { return ButtonsReport(0x00, 0x80); }

    // 0x33 with both dots out of view.
    static Bytes ButtonsReport(uint8_t buttons1, uint8_t buttons2) {
        Bytes r = {0x33, buttons1, buttons2, 0x80, 0x80, 0x80};
        r.resize(18, 0xFF);
        return r;
    }

    // 0x33 with two dots seen at these camera positions. Three bytes a dot:
    // x low, y low, y high << 6 | x high << 4.
    static Bytes DotsReport(int x1, int y1, int x2, int y2, uint8_t buttons1 = 0,
                            uint8_t buttons2 = 0) {
        Bytes r = ButtonsReport(buttons1, buttons2);
        int dots[2][2] = {{x1, y1}, {x2, y2}};
        for (size_t at = 6; auto [x, y] : dots) {
            r[at++] = static_cast<uint8_t>(x);
            r[at++] = static_cast<uint8_t>(y);
            r[at++] = static_cast<uint8_t>(((y >> 8) << 6) | ((x >> 8) << 4));
        }
        return r;
    }

    static std::vector<Bytes> Holding(const std::vector<Hold> &holds) {
        std::vector<Bytes> reports;
        for (const Hold &h : holds)
            reports.insert(reports.end(), size_t(h.passes), ButtonsReport(h.buttons1, h.buttons2));
        return reports;
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

    // How many reads the scripted remote has served.
    static size_t ScriptedReads() { return ScriptedEvents(HidEvent::Read).size(); }

    // Words in one line, a word said n times in a row written once with *n
    // after it: "R+ W64*3 R-".
    static std::string Runs(const std::vector<std::string> &words) {
        std::string text;
        for (size_t i = 0, n = 1; i < words.size(); i += n, n = 1) {
            while (i + n < words.size() && words[i + n] == words[i])
                n++;
            text += (text.empty() ? "" : " ") + words[i] + (n > 1 ? "*" + std::to_string(n) : "");
        }
        return text;
    }

    // The mouse events in order, a word each: L+ L- R+ R- a button down or
    // up, W<amount> the wheel.
    static std::string Mouse() {
        const std::map<unsigned, std::string> names = {{MouseLeftDown, "L+"},
                                                       {MouseLeftUp, "L-"},
                                                       {MouseRightDown, "R+"},
                                                       {MouseRightUp, "R-"}};
        std::vector<std::string> words;
        for (const MouseEventRecord &e : recording.mouseEvents)
            words.push_back(e.flags == MouseWheel ? "W" + std::to_string(e.data)
                                                  : names.at(e.flags));
        return Runs(words);
    }

    // The output reports, each cut to the length the remote takes.
    static std::vector<Bytes> SentReports() {
        std::vector<Bytes> sent;
        for (const HidEvent &e : ScriptedEvents(HidEvent::Write))
            sent.emplace_back(e.bytes.begin(), e.bytes.begin() + e.length);
        return sent;
    }
};
