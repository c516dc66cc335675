// Buttons as mouse buttons and the wheel.
#include "tests/test_support.h"

using ButtonsTest = LumadrifterTest;

// A and B send one event on each change, however long they are held, the
// right button's first. One and Two scroll in every pass they are held, 64
// a pass, with no buzz. Plus and Minus: one step and one buzz a press.
TEST_F(ButtonsTest, ClicksScrollsAndSteps) {
    const std::vector<Bytes> buzzTwice = {{0x13, 0x05}, {0x13, 0x04}, {0x13, 0x05}, {0x13, 0x04}};
    struct Row {
        const char *name;
        std::vector<Hold> holds;
        std::vector<unsigned> flags;
        std::vector<int> wheel;
        std::vector<Bytes> sent;
    } rows[] = {
        {"ClicksFollowTheButtons: A",
         {{0, 0x08, 5}, {0, 0, 3}},
         {MouseRightDown, MouseRightUp},
         {},
         {}},
        {"ClicksFollowTheButtons: B",
         {{0, 0x04, 5}, {0, 0, 3}},
         {MouseLeftDown, MouseLeftUp},
         {},
         {}},
        {"RightButtonEventComesFirst",
         {{0, 0x0C, 1}, {0, 0, 1}},
         {MouseRightDown, MouseLeftDown, MouseRightUp, MouseLeftUp},
         {},
         {}},
        {"OneAndTwoScrollWhileHeld",
         {{0, 0x02, 10}, {0, 0x01, 3}},
         {},
         {64, 64, 64, 64, 64, 64, 64, 64, 64, 64, -64, -64, -64},
         {}},
        {"PlusAndMinusStepOncePerPress: Plus",
         {{0x10, 0, 10}, {0, 0, 1}, {0x10, 0, 2}},
         {},
         {-64, -64},
         buzzTwice},
        {"PlusAndMinusStepOncePerPress: Minus",
         {{0, 0x10, 4}, {0, 0, 1}, {0, 0x10, 1}},
         {},
         {64, 64},
         buzzTwice},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        SetUp();
        RunPasses(Holding(row.holds));
        EXPECT_EQ(ButtonFlags(), row.flags);
        EXPECT_EQ(WheelAmounts(), row.wheel);
        EXPECT_EQ(SentReports(), row.sent);
    }
}

// The buzz holds the loop 80 ms, and the wheel step comes after it.
TEST_F(ButtonsTest, PlusAndMinusTogether) {
    RunPasses(Holding({{0x10, 0x10, 1}}));
    EXPECT_EQ(WheelAmounts(), (std::vector<int>{-64, 64}));

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
