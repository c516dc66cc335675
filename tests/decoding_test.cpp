// Input reports into RemoteState.
#include "remote/reports.h"
#include "tests/test_support.h"

namespace {

using State = std::vector<int>;

State Fields(const RemoteState &r) {
    return {r.buttons1, r.buttons2, r.accelX, r.dot1X, r.dot1Y, r.dot2X, r.dot2Y};
}

State Dots() {
    return {remoteState.dot1X, remoteState.dot1Y, remoteState.dot2X, remoteState.dot2Y};
}

// A state with every field set, to see what a report leaves alone.
const RemoteState before = {0x11, 0x22, 0x33, 101, 102, 103, 104};

class DecodingTest : public LumadrifterTest {
  protected:
    void SetUp() override {
        LumadrifterTest::SetUp();
        remoteState = before;
    }

    int Decode(const Bytes &report) {
        ScriptReport(0, report);
        return ReadRemote();
    }
};

TEST_F(DecodingTest, ReportsOutsideTheDataRangeChangeNothing) {
    for (Bytes report : {Bytes{0x20, 0xFF, 0xFF, 0x02, 0x00, 0x00, 0xC8},
                         Bytes{0x22, 0xFF, 0xFF, 0x16, 0x00}, Bytes{0x21, 0xFF, 0xFF, 0xF0},
                         Bytes{0x40, 0xFF, 0xFF, 0xFF}, Bytes{0x0F, 0xFF, 0xFF, 0xFF}}) {
        EXPECT_EQ(Decode(report), report[0]);
        EXPECT_EQ(Fields(remoteState), Fields(before)) << std::hex << int(report[0]);
    }
}

TEST_F(DecodingTest, EachDataIdCarriesWhatItsBitsSay) {
    // 0x30: buttons only, every bit kept.
    Decode({0x30, 0xFF, 0x9F});
    EXPECT_EQ(Fields(remoteState), (State{0xFF, 0x9F, 0x33, 101, 102, 103, 104}));

    // 0x31: buttons and accelerometer; the dots stay.
    Decode({0x31, 0x08, 0x04, 0x85, 0x80, 0x80});
    EXPECT_EQ(Fields(remoteState), (State{0x08, 0x04, 0x85, 101, 102, 103, 104}));

    // 0x32 (bit 0x02 without 0x01): buttons and dots, accelerometer kept.
    Bytes r = DotsReport(10, 20, 30, 40, 0x01, 0x02);
    r[0] = 0x32;
    r[3] = 0x00;
    Decode(r);
    EXPECT_EQ(Fields(remoteState), (State{0x01, 0x02, 0x85, 10, 20, 30, 40}));
}

// Three bytes a dot: x low, y low, then y high (bits 7..6) and x high
// (bits 5..4); a dot not seen is FF FF FF.
TEST_F(DecodingTest, DotLayout) {
    Bytes r = ButtonsReport(0x00, 0x00);
    r[6] = 0x7B;
    r[7] = 0x5A;
    r[8] = 0x26;
    Decode(r);
    EXPECT_EQ(Dots(), (State{635, 90, 1023, 1023}));

    Decode(DotsReport(1023, 767, 0, 1000));
    EXPECT_EQ(Dots(), (State{1023, 767, 0, 1000}));

    // Any data id with bit 0x02 is read with the same layout.
    for (uint8_t id : {0x36, 0x37, 0x3E, 0x3F}) {
        Bytes other = DotsReport(300, 200, 700, 600);
        other[0] = id;
        Decode(other);
        EXPECT_EQ(Dots(), (State{300, 200, 700, 600})) << std::hex << int(id);
    }
}

TEST_F(DecodingTest, BeforeAnyIrDataEveryDotReadsZero) {
    remoteState = RemoteState();
    Decode(ProbeReport());
    EXPECT_EQ(Dots(), (State{0, 0, 0, 0}));
}

TEST_F(DecodingTest, RemoteGoneDecodesNothing) {
    remoteLink.input[0] = 0x30;
    remoteLink.input[1] = 0x0F;
    ScriptGone(0);
    EXPECT_EQ(ReadRemote(), -1);
    EXPECT_EQ(ReadRemote(), -1);
    EXPECT_EQ(Fields(remoteState), Fields(before));
}

} // namespace
