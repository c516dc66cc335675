// The ways out of the control loop, and what is left behind.
#include "tests/test_support.h"

class ExitTest : public LumadrifterTest {
  protected:
    const Bytes holdOne = ButtonsReport(0x00, 0x02);
    const Bytes holdB = ButtonsReport(0x00, 0x04);
};

// A key that arrives while a read waits is seen at the next pass's key
// test: the pass that read belongs to runs in full first.
TEST_F(ExitTest, EscapeEndsTheLoopAtTheNextKeyTest) {
    FeedKey(27, 3);
    EXPECT_EQ(RunPasses(std::vector<Bytes>(4, holdOne)), LoopQuit);
    EXPECT_EQ(ScriptedReads(), 2u);
    EXPECT_EQ(Mouse(), "W64*2");
}

// One code per pass: an arrow key's two codes take two passes before the
// Escape behind them is read.
TEST_F(ExitTest, OtherKeysAreDroppedOneCodePerPass) {
    for (int code : {0xE0, 0x48, int('q'), 27})
        FeedKey(code);
    EXPECT_EQ(RunPasses(std::vector<Bytes>(5, holdOne)), LoopQuit);
    EXPECT_EQ(ScriptedReads(), 3u);
    EXPECT_EQ(recording.keysRead, 4);
    EXPECT_EQ(Mouse(), "W64*3");
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
    ASSERT_EQ(SentReports(), FromOneBuffer(Joined(ExpectedStartUp(), expectedQuiet)));
    HidEvent firstQuiet = ScriptedEvents(HidEvent::Write)[ExpectedStartUp().size()];
    EXPECT_LT(recording.mouseEvents.back().ns, firstQuiet.ns);
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

    EXPECT_EQ(SentReports(), FromOneBuffer(Joined(ExpectedStartUp(), expectedQuiet)));

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
