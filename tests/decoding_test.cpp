// Input reports into RemoteState.
#include "tests/test_support.h"

using State = std::vector<int>;

static State Fields(const RemoteState &r) {
    return {r.buttons1, r.buttons2, r.accelX, r.dot1X, r.dot1Y, r.dot2X, r.dot2Y};
}

// A state with every field set, to see what a report leaves alone.
static const RemoteState before = {0x11, 0x22, 0x33, 101, 102, 103, 104};

using DecodingTest = LumadrifterTest;

static Bytes WithId(uint8_t id, Bytes report) {
    report[0] = id;
    return report;
}

// The rows run in turn on one state, from before: each report's id comes
// back, and the state holds the fields its bits say and keeps the others.
// Three bytes a dot: x low, y low, then y high (bits 7..6) and x high (bits
// 5..4); a dot not seen is FF FF FF.
TEST_F(DecodingTest, EachReportCarriesWhatItsIdSays) {
    const State kept = Fields(before);
    struct Row {
        Bytes report;
        State after;
    } rows[] = {
        // ReportsOutsideTheDataRangeChangeNothing
        {{0x20, 0xFF, 0xFF, 0x02, 0x00, 0x00, 0xC8}, kept},
        {{0x22, 0xFF, 0xFF, 0x16, 0x00}, kept},
        {{0x21, 0xFF, 0xFF, 0xF0}, kept},
        {{0x40, 0xFF, 0xFF, 0xFF}, kept},
        {{0x0F, 0xFF, 0xFF, 0xFF}, kept},
        // EachDataIdCarriesWhatItsBitsSay: 0x30 buttons only, every bit kept;
        // 0x31 buttons and accelerometer; 0x32 (bit 0x02 without 0x01)
        // buttons and dots
        {{0x30, 0xFF, 0x9F}, {0xFF, 0x9F, 0x33, 101, 102, 103, 104}},
        {{0x31, 0x08, 0x04, 0x85, 0x80, 0x80}, {0x08, 0x04, 0x85, 101, 102, 103, 104}},
        {WithId(0x32, DotsReport(10, 20, 30, 40, 0x01, 0x02)), {1, 2, 0x85, 10, 20, 30, 40}},
        // DotLayout: the high bits, the corners, any data id with bit 0x02
        {{0x33, 0, 0, 0x80, 0x80, 0x80, 0x7B, 0x5A, 0x26, 0xFF, 0xFF, 0xFF},
         {0, 0, 0x80, 635, 90, 1023, 1023}},
        {DotsReport(1023, 767, 0, 1000), {0, 0, 0x80, 1023, 767, 0, 1000}},
        {WithId(0x36, DotsReport(300, 200, 700, 600)), {0, 0, 0x80, 300, 200, 700, 600}},
        {WithId(0x37, DotsReport(1, 2, 3, 4)), {0, 0, 0x80, 1, 2, 3, 4}},
        {WithId(0x3E, DotsReport(300, 200, 700, 600)), {0, 0, 0x80, 300, 200, 700, 600}},
        {WithId(0x3F, DotsReport(5, 6, 7, 8)), {0, 0, 0x80, 5, 6, 7, 8}},
    };
    remoteState = before;
    for (const Row &row : rows) {
        SCOPED_TRACE(Hex(row.report));
        ScriptReport(0, row.report);
        EXPECT_EQ(ReadRemote(), row.report[0]);
        EXPECT_EQ(Fields(remoteState), row.after);
    }

    // BeforeAnyIrDataEveryDotReadsZero
    remoteState = RemoteState();
    ScriptReport(0, ProbeReport());
    ReadRemote();
    EXPECT_EQ(Fields(remoteState), (State{0, 0, 0x80, 0, 0, 0, 0}));
}

TEST_F(DecodingTest, RemoteGoneDecodesNothing) {
    remoteState = before;
    remoteLink.input[0] = 0x30;
    remoteLink.input[1] = 0x0F;
    ScriptGone(0);
    EXPECT_EQ(ReadRemote(), -1);
    EXPECT_EQ(ReadRemote(), -1);
    EXPECT_EQ(Fields(remoteState), Fields(before));
}
