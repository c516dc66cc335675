// Buttons as mouse buttons and the wheel.
#include "tests/test_support.h"

using ButtonsTest = LumadrifterTest;

// A and B send one event on each change, however long they are held, the
// right button's first. One and Two scroll in every pass they are held, 64
// a pass, with no buzz. Plus and Minus: one step and one buzz a press.
TEST_F(ButtonsTest, ClicksScrollsAndSteps) {
    const std::vector<Bytes> buzz = {{0x13, 0x05}, {0x13, 0x04}, {0x13, 0x05}, {0x13, 0x04}};
    struct Row {
        std::vector<Hold> holds;
        std::string mouse;
        std::vector<Bytes> sent;
    } rows[] = {
        {{{0, 0x08, 5}, {0, 0, 3}}, "R+ R-", {}},                   // ClicksFollowTheButtons: A
        {{{0, 0x04, 5}, {0, 0, 3}}, "L+ L-", {}},                   // and B
        {{{0, 0x0C, 1}, {0, 0, 1}}, "R+ L+ R- L-", {}},             // RightButtonEventComesFirst
        {{{0, 0x02, 10}, {0, 0x01, 3}}, "W64*10 W-64*3", {}},       // OneAndTwoScrollWhileHeld
        {{{0x10, 0, 10}, {0, 0, 1}, {0x10, 0, 2}}, "W-64*2", buzz}, // PlusAndMinusStepOncePerPress
        {{{0, 0x10, 4}, {0, 0, 1}, {0, 0x10, 1}}, "W64*2", buzz},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.mouse);
        SetUp();
        RunPasses(Holding(row.holds));
        EXPECT_EQ(Mouse(), row.mouse);
        EXPECT_EQ(SentReports(), row.sent);
    }
}

// The buzz holds the loop 80 ms, and the wheel step comes after it.
TEST_F(ButtonsTest, PlusAndMinusTogether) {
    RunPasses(Holding({{0x10, 0x10, 1}}));
    EXPECT_EQ(Mouse(), "W-64 W64");

    std::vector<HidEvent> w = ScriptedEvents(HidEvent::Write);
    ASSERT_EQ(w.size(), 4u);
    const int64_t ms = 1000000;
    EXPECT_GT(w[1].ns - w[0].ns, 80 * ms);
    EXPECT_GT(w[3].ns - w[2].ns, 80 * ms);
    EXPECT_GT(recording.mouseEvents[0].ns, w[1].ns);
    EXPECT_LT(recording.mouseEvents[0].ns, w[2].ns);
    EXPECT_GT(recording.mouseEvents[1].ns, w[3].ns);
}

// The buzz rewrites only the first two bytes of the output buffer; the rest
// is what the set-up left there.
TEST_F(ButtonsTest, RumbleReportKeepsTheBufferBehindIt) {
    RunSession(Holding({{0x10, 0, 1}}));
    std::vector<HidEvent> w = ScriptedEvents(HidEvent::Write);
    ASSERT_EQ(w.size(), 16u);
    const Bytes buzz = {0x13, 0x05, 0x33, 0xFF, 0x30, 0x01, 0x08, 0x03, 0x00, 0x71, 0x01,
                        0x00, 0xC8, 0,    0,    0,    0,    0,    0,    0,    0,    0};
    EXPECT_EQ(w[11].bytes, buzz);
    EXPECT_EQ(w[11].length, 2);
}
