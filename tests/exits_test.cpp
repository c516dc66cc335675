// The ways out of the control loop, and what is left behind.
#include "tests/test_support.h"

class ExitTest : public LumadrifterTest {
  protected:
    const Bytes holdOne = ButtonsReport(0x00, 0x02);
    const Bytes holdB = ButtonsReport(0x00, 0x04);
};

// A key is seen at a pass's key test, before its read. One that arrives
// while a read waits is seen at the next pass's key test: the pass that read
// belongs to runs in full first. Other keys are dropped one code per pass:
// an arrow key's two codes take two passes before the Escape behind them is
// read.
TEST_F(ExitTest, EscapeAndOtherKeys) {
    struct Row {
        const char *name;
        std::vector<int> codes;
        int fromPoll;
        size_t reads;
        int keysRead;
    } rows[] = {
        {"EscapeEndsTheLoopAtTheNextKeyTest", {27}, 3, 2, 1},
        {"OtherKeysAreDroppedOneCodePerPass", {0xE0, 0x48, 'q', 27}, 1, 3, 4},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        SetUp();
        for (int code : row.codes)
            FeedKey(code, row.fromPoll);
        EXPECT_EQ(RunPasses(std::vector<Bytes>(5, holdOne)), LoopQuit);
        EXPECT_EQ(ScriptedReads(), row.reads);
        EXPECT_EQ(recording.keysRead, row.keysRead);
        EXPECT_EQ(Mouse(), "W64*" + std::to_string(row.reads));
    }
}

// Home quits only when the whole second button byte is 0x80.
TEST_F(ExitTest, HomeQuitsOnlyWhenAlone) {
    struct Case {
        uint8_t buttons1, buttons2;
        bool quits;
    } cases[] = {
        {0x00, 0x80, true},  {0x1F, 0x80, true},  {0x00, 0x81, false}, {0x00, 0x82, false},
        {0x00, 0x84, false}, {0x00, 0x88, false}, {0x00, 0x90, false}, {0x00, 0xA0, false},
        {0x00, 0xC0, false}, {0x00, 0x00, false}, {0x10, 0x00, false},
    };
    for (const Case &c : cases) {
        SetUp();
        RunPasses({ButtonsReport(c.buttons1, c.buttons2)});
        EXPECT_EQ(ScriptedReads(), c.quits ? 1u : 2u)
            << std::hex << int(c.buttons1) << " " << int(c.buttons2);
    }
}

// Whichever way the loop ends, a button the program pressed is released,
// before the remote is put to rest. B let go in the very report that brings
// Home: that pass runs no button action, yet the button comes up.
TEST_F(ExitTest, NoButtonIsLeftDown) {
    FeedKey(27, 3);
    RunPasses(Holding({{0x00, 0x0C, 3}}));
    EXPECT_EQ(Mouse(), "R+ L+ R- L-");

    SetUp();
    RunPasses({holdB});
    EXPECT_EQ(Mouse(), "L+ L-");
}

TEST_F(ExitTest, ButtonsComeUpBeforeTheShutdownReports) {
    ScriptSession({holdB, holdB});
    FeedKey(27, 3);
    ASSERT_EQ(RunLumadrifter(), 0);

    ASSERT_EQ(Mouse(), "L+ L-");
    std::vector<HidEvent> writes = ScriptedEvents(HidEvent::Write);
    ASSERT_GE(writes.size(), 3u);
    EXPECT_EQ(writes[writes.size() - 3].bytes[0], 0x13);
    EXPECT_LT(recording.mouseEvents.back().ns, writes[writes.size() - 3].ns);
}

// A remote that goes away must not leave the loop re-decoding its last
// report: a held One would scroll for ever.
TEST_F(ExitTest, RemoteGoneEndsTheRunWithOne) {
    ScriptSession(std::vector<Bytes>(3, ButtonsReport(0x00, 0x06))); // One and B held
    ScriptGone(5);
    EXPECT_EQ(RunLumadrifter(), 1);

    EXPECT_EQ(Mouse(), "L+ W64*3 L-");
    EXPECT_EQ(recording.messages, std::vector<std::string>{"Wii-Remote disconnected."});
    EXPECT_EQ(recording.advisedAfterMessages, -1) << "no advice to find a remote that was there";

    std::vector<Bytes> sent = SentReports();
    ASSERT_GE(sent.size(), 3u);
    EXPECT_EQ(std::vector<Bytes>(sent.end() - 3, sent.end()), expectedQuiet);

    std::vector<HidEvent> events = ScriptedEvents();
    EXPECT_EQ(events.back().kind, HidEvent::Close);
    EXPECT_LT(events.back().ns, recording.messageNs.front()); // closed, then told
    EXPECT_EQ(ScriptedEvents(HidEvent::Read).back().length, -1);
    EXPECT_EQ(recording.stops, 1);
}

// A status report sent on the remote's own stops its data reports until a
// mode is selected again; the pass goes on with the state as it was.
TEST_F(ExitTest, StatusReportSelectsTheReportingModeAgain) {
    RunPasses({holdOne, StatusReport(), ButtonsReport(0x00, 0x00)});

    EXPECT_EQ(SentReports(), (std::vector<Bytes>{{0x12, 0x00, 0x33}}));
    EXPECT_EQ(Mouse(), "W64*2"); // One still held in that pass
    EXPECT_GT(ScriptedEvents(HidEvent::Write).front().ns, ScriptedEvents(HidEvent::Read)[1].ns);
}
