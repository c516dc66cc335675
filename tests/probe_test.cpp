// The start-up probe and its reader thread.
#include "app/entry.h"
#include "platform/platform.h"
#include "remote/ir_camera.h"
#include "remote/probe.h"
#include "remote/reports.h"
#include "tests/expected_reports.h"
#include "tests/test_kit.h"
#include "tests/test_support.h"

#include <filesystem>
#include <functional>

namespace {

using ProbeTest = LumadrifterTest;

// An acknowledgement decodes into nothing: a last read that takes one leaves
// the state the main thread reads alone.
Bytes AckReport() {
    return {0x22, 0x00, 0x00, 0x12, 0x00};
}

bool ReaderDone(size_t reads) {
    return ScriptedReads() == reads && ScriptedReadersWaiting() == 0;
}

// The reader thread, which made the first read, has ended.
bool ReaderEnded() {
    std::vector<HidEvent> reads = ScriptedEvents(HidEvent::Read);
    return !reads.empty() &&
           !std::filesystem::exists("/proc/self/task/" + std::to_string(reads.front().thread));
}

// The reader sleeps 100 ms after its read, so the window has closed when it
// wakes: it ends without reading again.
TEST_F(ProbeTest, AnsweredEarlyInTheWindow) {
    ScriptReport(30, ProbeReport(0x80));
    ScriptReport(0, ButtonsReport(0, 0));
    EXPECT_TRUE(ProbeRemote());
    EXPECT_EQ(remoteState.accelX, 0x80);

    EXPECT_TRUE(WaitUntil(ReaderEnded)) << "the reader ends by itself";
    EXPECT_EQ(ScriptedReads(), 1u);
    EXPECT_EQ(ScriptedReadersWaiting(), 0);
}

TEST_F(ProbeTest, OnlyNonZeroAccelerometerDataCounts) {
    // An acknowledgement first: the answer behind it comes after the window.
    ScriptReport(10, AckReport());
    ScriptReport(0, ProbeReport(0x80));
    EXPECT_FALSE(ProbeRemote());
    StopReaderThread();

    SetUp();
    ScriptReport(10, ProbeReport(0x00));
    EXPECT_FALSE(ProbeRemote());
    StopReaderThread();

    // A stale accelerometer value from before the probe does not count.
    SetUp();
    remoteState.accelX = 0x80;
    ScriptReport(10, {0x30, 0x00, 0x00});
    EXPECT_FALSE(ProbeRemote());
    StopReaderThread();
    EXPECT_TRUE(WaitUntil(ReaderEnded));
    EXPECT_EQ(ScriptedReadersWaiting(), 0);
}

// A remote that is there but never answers: the reader thread, blocked in
// its read, is ended and the handle closed.
TEST_F(ProbeTest, SilentRemote) {
    remoteLink.handle = 0;
    EXPECT_EQ(RunLumadrifter(), 0);

    EXPECT_EQ(recording.messages, std::vector<std::string>{"Wii-Remote cannot open."});
    EXPECT_EQ(recording.console, "");
    EXPECT_EQ(SentReports(), (std::vector<Bytes>{{0x12, 0x00, 0x31}}));
    EXPECT_EQ(ScriptedReadersWaiting(), 0); // the thread is gone

    std::vector<HidEvent> events = ScriptedEvents();
    EXPECT_EQ(events.back().kind, HidEvent::Close);
    EXPECT_LT(recording.messageNs.front(), events.back().ns);
}

// After a successful probe the thread is not waited for: the main thread
// goes on at once, even with the reader in a read that has not returned (its
// sleep cut short, it read again before the window closed), and the thread
// ends by itself once that read returns.
TEST_F(ProbeTest, SuccessDoesNotWaitForTheReader) {
    CutThreadSleeps(0);
    ScriptReport(10, ProbeReport(0x80));
    ScriptReport(1000, AckReport());
    EXPECT_TRUE(ProbeRemote());
    EXPECT_EQ(ScriptedReads(), 1u);
    EXPECT_EQ(ScriptedReadersWaiting(), 1);

    EXPECT_TRUE(WaitUntil([] { return ReaderDone(2); }));
}

// The reader's last read, past the window, takes a status report once the
// camera set-up has run: the remote would stay silent, so the reader selects
// mode 0x33 again, from a buffer of its own with nothing behind the mode.
TEST_F(ProbeTest, AStatusReportTheReaderTakesAfterTheCameraSetUpIsAnswered) {
    CutThreadSleeps(0);
    ScriptReport(10, ProbeReport(0x80));
    ScriptReport(600, StatusReport());
    ASSERT_TRUE(ProbeRemote());
    SetUpIrCamera();
    size_t setUpWrites = expectedCameraSetUp.size() + 1;

    ASSERT_TRUE(WaitUntil([&] { return SentReports().size() == setUpWrites + 1; }));
    std::vector<Bytes> expected = expectedCameraSetUp;
    expected.push_back({0x12, 0x00, 0x33});
    expected.push_back({0x12, 0x00, 0x33});
    EXPECT_EQ(SentReports(), FromOneBuffer(expected));
    Bytes alone(22, 0);
    alone[0] = 0x12;
    alone[2] = 0x33;
    EXPECT_EQ(ScriptedEvents(HidEvent::Write).back().bytes, alone);
    EXPECT_GT(ScriptedEvents(HidEvent::Write).back().ns, ScriptedEvents(HidEvent::Read).back().ns);
    EXPECT_TRUE(WaitUntil([] { return ReaderDone(2); }));
}

// Once the program has begun to quiet the remote, the reader's last read
// answers nothing: the quiet state stays the last word.
TEST_F(ProbeTest, AStatusReportTheReaderTakesAfterTheEndHasBegunIsNotAnswered) {
    CutThreadSleeps(0);
    ScriptReport(10, ProbeReport(0x80));
    ScriptReport(600, StatusReport());
    ASSERT_TRUE(ProbeRemote());
    SetUpIrCamera();
    ForgetCameraMode();
    size_t writes = SentReports().size();

    // An answer would go out before the thread's end.
    EXPECT_TRUE(WaitUntil(ReaderEnded));
    EXPECT_TRUE(ReaderDone(2));
    EXPECT_EQ(ScriptedEvents(HidEvent::Read).back().bytes, StatusReport());
    EXPECT_EQ(SentReports().size(), writes);
}

// During the probe proper a status report is only read: nothing is sent,
// whatever a camera set-up before the probe had chosen.
TEST_F(ProbeTest, AStatusReportDuringTheProbeIsNotAnswered) {
    SetUpIrCamera();
    size_t setUpWrites = SentReports().size();
    CutThreadSleeps(0);
    ScriptReport(10, StatusReport());
    ScriptReport(10, ProbeReport(0x80));
    ScriptReport(600, AckReport());
    ASSERT_TRUE(ProbeRemote());

    EXPECT_TRUE(WaitUntil([] { return ReaderDone(3); }));
    EXPECT_EQ(ScriptedEvents(HidEvent::Read).front().bytes, StatusReport());
    EXPECT_EQ(SentReports().size(), setUpWrites);
}

} // namespace
