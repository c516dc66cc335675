// The start-up probe and its reader thread.
#include "remote/ir_camera.h"
#include "remote/probe.h"
#include "tests/test_support.h"

class ProbeTest : public LumadrifterTest {
  protected:
    // An acknowledgement decodes into nothing: a last read that takes one
    // leaves the state the main thread reads alone.
    const Bytes ack = {0x22, 0x00, 0x00, 0x12, 0x00};

    static bool ReaderDone(size_t n) { return ScriptedReads() == n && !ScriptedReadersWaiting(); }

    // The reader thread, which made the first read, has ended.
    static bool ReaderEnded() {
        std::vector<HidEvent> reads = ScriptedEvents(HidEvent::Read);
        return !reads.empty() && Ended(reads[0].thread);
    }

    void StatusReportTheReaderTakes(bool duringTheProbe, bool endBegun);
};

// The reader sleeps 100 ms after its read, so the window has closed when it
// wakes: it ends without reading again.
TEST_F(ProbeTest, AnsweredEarlyInTheWindow) {
    ScriptReport(30, ProbeReport(0x80));
    ScriptReport(0, ButtonsReport(0, 0));
    EXPECT_TRUE(ProbeRemote());
    EXPECT_EQ(remoteState.accelX, 0x80);

    EXPECT_TRUE(WaitUntil(ReaderEnded)) << "the reader ends by itself";
    EXPECT_TRUE(ReaderDone(1));
}

// A probe that fails leaves its reader to StopReaderThread, which ends it.
// Each row's first report comes 10 ms after the open, the rest at once.
TEST_F(ProbeTest, OnlyNonZeroAccelerometerDataCounts) {
    struct Row {
        uint8_t staleAccelX;
        std::vector<Bytes> reports;
    } rows[] = {
        {0, {ack, ProbeReport(0x80)}}, // the answer behind the acknowledgement is too late
        {0, {ProbeReport(0x00)}},
        {0x80, {{0x30, 0x00, 0x00}}}, // a value from before the probe does not count
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(Hex(row.reports[0]));
        SetUp();
        remoteState.accelX = row.staleAccelX;
        for (const Bytes &r : row.reports)
            ScriptReport(&r == &row.reports[0] ? 10 : 0, r);
        EXPECT_FALSE(ProbeRemote());
        StopReaderThread();
        EXPECT_TRUE(WaitUntil(ReaderEnded));
        EXPECT_EQ(ScriptedReadersWaiting(), 0);
    }
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
    ScriptReport(1000, ack);
    EXPECT_TRUE(ProbeRemote());
    EXPECT_EQ(ScriptedReads(), 1u);
    EXPECT_EQ(ScriptedReadersWaiting(), 1);

    EXPECT_TRUE(WaitUntil([] { return ReaderDone(2); }));
}

// A status report the reader takes (its sleep cut short, it reads on). During
// the probe proper it is only read, whatever a camera set-up before the probe
// had chosen. Past the window, once the camera set-up has run, the remote
// would stay silent, so the reader selects mode 0x33 again, from a buffer of
// its own with nothing behind the mode. Once the program has begun to quiet
// the remote it answers nothing: the quiet state stays the last word. Each
// is a case of its own: the reader, let go of, is never joined, so a next
// run in the same process would not be ordered after it.
void ProbeTest::StatusReportTheReaderTakes(bool duringTheProbe, bool endBegun) {
    CutThreadSleeps(0);
    if (duringTheProbe) {
        SetUpIrCamera();
        ScriptReport(10, StatusReport());
    }
    ScriptReport(10, ProbeReport(0x80));
    ScriptReport(600, duringTheProbe ? ack : StatusReport());
    ASSERT_TRUE(ProbeRemote());
    if (!duringTheProbe)
        SetUpIrCamera();
    if (endBegun)
        ForgetCameraMode();

    // An answer would go out before the thread's end.
    ASSERT_TRUE(WaitUntil(ReaderEnded));
    std::vector<HidEvent> reads = ScriptedEvents(HidEvent::Read);
    EXPECT_TRUE(ReaderDone(duringTheProbe ? 3 : 2));
    EXPECT_EQ((duringTheProbe ? reads.front() : reads.back()).bytes, StatusReport());
    bool answered = !duringTheProbe && !endBegun;
    std::vector<Bytes> modes(answered ? 2 : 1, Bytes{0x12, 0x00, 0x33});
    EXPECT_EQ(SentReports(), FromOneBuffer(Joined(expectedCameraSetUp, modes)));
    if (answered) {
        EXPECT_EQ(ScriptedEvents(HidEvent::Write).back().bytes, OutputBufferAfter({modes[0]}));
        EXPECT_GT(ScriptedEvents(HidEvent::Write).back().ns, reads.back().ns);
    }
}

TEST_F(ProbeTest, AStatusReportDuringTheProbeIsNotAnswered) {
    StatusReportTheReaderTakes(true, false);
}

TEST_F(ProbeTest, AStatusReportTheReaderTakesAfterTheCameraSetUpIsAnswered) {
    StatusReportTheReaderTakes(false, false);
}

TEST_F(ProbeTest, AStatusReportTheReaderTakesAfterTheEndHasBegunIsNotAnswered) {
    StatusReportTheReaderTakes(false, true);
}

// The suites' rule for a run that missed the window (tests/remote_log.h):
// the machine's lateness is told from the log, a probe that never reads or
// takes a zero answer is not, nor is one that passed.
TEST(ProbeLateness, TheMachineIsToldFromTheProgram) {
    const std::string start = "open 0 7\nwrite 1000 3 12 00 31\n", answer = " 6 31 00 00 80\n";
    const struct {
        std::string log;
        bool late;
    } rows[] = {
        {start + "scheduled 2000 1000\nclose 101000 7\n", false},          // never read
        {start + "read 40000" + answer + "write 101000 2 11 10\n", false}, // passed
        {start + "read 40000 6 31 00 00 00\nclose 101000 7\n", false},     // a zero answer
        {start + "scheduled 150000 149000\nclose 151000 7\n", true},       // a new thread ran late
        {start + "close 101000 7\nscheduled 150000 149000\n", true},       // or not by the close
        {start + "scheduled 2000 1000\nstalled 60000 25000\nclose 101000 7\n", true}, // or stalled
        {start + "scheduled 2000 1000\nread 120000" + answer + "close 121000 7\n", true},
        {start + "scheduled 2000 1000\nread 40000" + answer + "close 101000 7\n", true},
        {start + "scheduled 2000 1000\nwaiting 40000" + answer + "close 101000 7\n", true},
    };
    for (const auto &row : rows)
        EXPECT_EQ(LateForTheProbe(ParseLog(row.log)).empty(), !row.late) << row.log;
    // The Windows build runs no watching thread: a silent remote is no excuse.
    EXPECT_EQ(LateForTheProbe(ParseLog(start + "close 101000 7\n"), false, false), "");
}
