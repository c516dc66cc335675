// Start-up and shutdown: what the remote is sent, what the console shows,
// and the order of it all.
#include "tests/expected_banner.h"
#include "tests/test_support.h"

using StartupTest = LumadrifterTest;

// Register writes carry all 16 block bytes; the output buffer is never
// cleared, so every report's bytes past its own (a short report's, or a
// register write's past its size) are what the reports before it left.
TEST_F(StartupTest, WholeRunSendsEveryReportInOrder) {
    EXPECT_EQ(RunSession({}), 0);
    std::vector<Bytes> all = Joined(ExpectedStartUp(), expectedQuiet);
    EXPECT_EQ(SentReports(), FromOneBuffer(all));

    // ShortReportsLeaveTheBufferBehindThem, the buffer whole at each write.
    std::vector<HidEvent> writes = ScriptedEvents(HidEvent::Write);
    ASSERT_EQ(writes.size(), all.size());
    for (size_t i = 0; i < all.size(); i++)
        EXPECT_EQ(writes[i].bytes, OutputBufferAfter({all.begin(), all.begin() + long(i) + 1}))
            << i;
    EXPECT_EQ(writes[0].bytes[3], 0) << "nothing before the first report";
    EXPECT_EQ(writes[13].bytes[6], 0x08) << "the last register write's data, behind mode 0x30";

    // OpensTheRemoteOnceAndClosesItLast.
    std::vector<HidEvent> events = ScriptedEvents();
    EXPECT_EQ(events.front().kind, HidEvent::Open);
    EXPECT_EQ(events.front().bytes, (Bytes{0x05, 0x7E, 0x03, 0x06}));
    EXPECT_EQ(events.back().kind, HidEvent::Close);
    EXPECT_EQ(events.back().length, 7); // the handle the open gave
    EXPECT_EQ(ScriptedEvents(HidEvent::Open).size(), 1u);
    EXPECT_EQ(ScriptedEvents(HidEvent::Close).size(), 1u);
    EXPECT_EQ(recording.starts, 1);
    EXPECT_EQ(recording.stops, 1);

    // BannerAndUsageByteForByte.
    EXPECT_EQ(recording.console, expectedBanner);
    EXPECT_TRUE(recording.messages.empty());
}

// An end request in mid-run (B just pressed): the quiet state goes out from
// a buffer of its own, with nothing behind its bytes, and the shared buffer
// keeps what the run left there. Once closed, a second request sends nothing.
TEST_F(StartupTest, AnEndRequestLeavesTheRemoteQuietAndTheSharedBufferAlone) {
    size_t writesBefore = 0;
    Bytes bufferBefore, bufferAfter;
    recording.onMouseEvent = [&](unsigned, int) {
        if (!bufferBefore.empty())
            return;
        writesBefore = ScriptedEvents(HidEvent::Write).size();
        bufferBefore.assign(remoteLink.output, remoteLink.output + 256);
        ASSERT_NE(recording.leave, nullptr);
        recording.leave();
        bufferAfter.assign(remoteLink.output, remoteLink.output + 256);
        recording.leave();
    };
    RunSession({ButtonsReport(0x00, 0x04)});

    EXPECT_EQ(bufferAfter, bufferBefore);
    std::vector<HidEvent> events = ScriptedEvents();
    std::vector<HidEvent> writes = ScriptedEvents(HidEvent::Write);
    ASSERT_GE(writes.size(), writesBefore + 3);
    for (size_t i = 0; i < 3; i++)
        EXPECT_EQ(writes[writesBefore + i].bytes, OutputBufferAfter({expectedQuiet[i]})) << i;
    auto lastQuiet = std::find_if(events.begin(), events.end(), [&](const HidEvent &e) {
        return e.kind == HidEvent::Write && e.ns == writes[writesBefore + 2].ns;
    });
    ASSERT_LT(lastQuiet + 1, events.end());
    EXPECT_EQ(lastQuiet[1].kind, HidEvent::Close);
}

// No remote: one message, the advice after it, the open alone (no writes,
// no close). No mouse output: the end comes before the remote is opened.
TEST_F(StartupTest, NoRemoteOrNoMouseOutputExitWithOne) {
    ASSERT_TRUE(LoadScriptText("absent\n", nullptr));
    EXPECT_EQ(RunLumadrifter(), 1);
    EXPECT_EQ(recording.messages, std::vector<std::string>{"Wii-Remote not found."});
    EXPECT_EQ(recording.advisedAfterMessages, 1) << "advice follows the message";
    EXPECT_EQ(recording.console, "");
    EXPECT_EQ(ScriptedEvents().size(), 1u);
    EXPECT_EQ(recording.stops, 1);

    SetUp();
    recording.startFails = true;
    EXPECT_EQ(RunLumadrifter(), 1);
    EXPECT_TRUE(ScriptedEvents().empty());
    EXPECT_TRUE(recording.messages.empty());
}
