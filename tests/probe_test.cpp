// The start-up probe and its reader thread.
#include "app/entry.h"
#include "platform/platform.h"
#include "remote/probe.h"
#include "remote/reports.h"
#include "tests/test_support.h"

namespace {

using ProbeTest = LumadrifterTest;

size_t Reads() {
    return ScriptedEvents(HidEvent::Read).size();
}

// The reader sleeps 100 ms after its read, so the window has closed when it
// wakes: it ends without reading again.
TEST_F(ProbeTest, AnsweredEarlyInTheWindow) {
    ScriptReport(30, ProbeReport(0x80));
    ScriptReport(0, ButtonsReport(0, 0));
    EXPECT_TRUE(ProbeRemote());
    EXPECT_EQ(remoteState.accelX, 0x80);

    SleepMilliseconds(150);
    EXPECT_EQ(Reads(), 1u);
    EXPECT_EQ(ScriptedReadersWaiting(), 0);
}

TEST_F(ProbeTest, OnlyNonZeroAccelerometerDataCounts) {
    // An acknowledgement first: the answer behind it comes after the window.
    ScriptReport(10, {0x22, 0x00, 0x00, 0x12, 0x00});
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
    SleepMilliseconds(150);
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
// goes on at once, and the thread ends by itself.
TEST_F(ProbeTest, SuccessDoesNotWaitForTheReader) {
    ScriptReport(90, ProbeReport(0x80));
    int64_t start = ReadCounter();
    EXPECT_TRUE(ProbeRemote());
    EXPECT_LT(ReadCounter() - start, 190 * 1000000LL);

    SleepMilliseconds(250);
    EXPECT_EQ(Reads(), 1u);
    EXPECT_EQ(ScriptedReadersWaiting(), 0);
}

} // namespace
