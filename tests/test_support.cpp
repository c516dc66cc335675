#include "tests/test_support.h"

#include "app/entry.h"
#include "platform/platform.h"
#include "remote/reports.h"

Bytes ProbeReport(uint8_t accelX) {
    return {0x31, 0x00, 0x00, accelX, 0x80, 0x80};
}

Bytes ButtonsReport(uint8_t buttons1, uint8_t buttons2) {
    Bytes r = {0x33, buttons1, buttons2, 0x80, 0x80, 0x80};
    r.resize(18, 0xFF);
    return r;
}

// Three bytes a dot: x low, y low, y high << 6 | x high << 4.
static void PutDot(Bytes &r, size_t at, int x, int y) {
    r[at] = static_cast<uint8_t>(x);
    r[at + 1] = static_cast<uint8_t>(y);
    r[at + 2] = static_cast<uint8_t>(((y >> 8) << 6) | ((x >> 8) << 4));
}

Bytes DotsReport(int x1, int y1, int x2, int y2, uint8_t buttons1, uint8_t buttons2) {
    Bytes r = ButtonsReport(buttons1, buttons2);
    PutDot(r, 6, x1, y1);
    PutDot(r, 9, x2, y2);
    return r;
}

Bytes HomeReport() {
    return ButtonsReport(0x00, 0x80);
}

Bytes StatusReport() {
    return {0x20, 0x00, 0x00, 0x02, 0x00, 0x00, 0xC8};
}

std::vector<Bytes> Holding(std::initializer_list<Hold> holds) {
    std::vector<Bytes> reports;
    for (const Hold &h : holds)
        reports.insert(reports.end(), static_cast<size_t>(h.passes),
                       ButtonsReport(h.buttons1, h.buttons2));
    return reports;
}

void LumadrifterTest::SetUp() {
    ResetScriptedRemote();
    ResetRecordingPlatform();
    remoteLink = RemoteLink();
    remoteState = RemoteState();
    remoteLink.handle = 7;
}

LoopEnd LumadrifterTest::RunPasses(const std::vector<Bytes> &reports) {
    for (const Bytes &r : reports)
        ScriptReport(0, r);
    ScriptReport(0, HomeReport());
    return RunControlLoop();
}

// The reader's sleep after the probe's answer outlasts even a window that
// a busy machine closes late, so it never reads a report meant for the
// control loop.
int LumadrifterTest::RunSession(const std::vector<Bytes> &reports) {
    CutThreadSleeps(1000);
    remoteLink.handle = 0;
    ScriptReport(50, ProbeReport());
    for (const Bytes &r : reports)
        ScriptReport(1, r);
    ScriptReport(1, HomeReport());
    return RunLumadrifter();
}

std::vector<int> LumadrifterTest::WheelAmounts() const {
    std::vector<int> amounts;
    for (const MouseEventRecord &e : recording.mouseEvents)
        if (e.flags == MouseWheel)
            amounts.push_back(e.data);
    return amounts;
}

std::vector<unsigned> LumadrifterTest::ButtonFlags() const {
    std::vector<unsigned> flags;
    for (const MouseEventRecord &e : recording.mouseEvents)
        if (e.flags != MouseWheel)
            flags.push_back(e.flags);
    return flags;
}

std::vector<Bytes> LumadrifterTest::SentReports() const {
    std::vector<Bytes> sent;
    for (const HidEvent &e : ScriptedEvents(HidEvent::Write))
        sent.emplace_back(e.bytes.begin(), e.bytes.begin() + e.length);
    return sent;
}
