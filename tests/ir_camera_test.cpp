// The IR camera set-up: nine reports, in order, with their waits.
#include "remote/ir_camera.h"
#include "tests/test_support.h"

namespace {

using IrCameraTest = LumadrifterTest;

TEST_F(IrCameraTest, NineReportsInOrder) {
    SetUpIrCamera();
    std::vector<Bytes> sent = SentReports();

    ASSERT_EQ(sent.size(), 9u);
    const uint8_t ids[] = {0x13, 0x1A, 0x16, 0x16, 0x16, 0x16, 0x16, 0x16, 0x12};
    for (size_t i = 0; i < 9; i++)
        EXPECT_EQ(sent[i][0], ids[i]) << i;
    EXPECT_EQ(sent[0], (Bytes{0x13, 0x04}));
    EXPECT_EQ(sent[1], (Bytes{0x1A, 0x04}));
    EXPECT_EQ(sent[8], (Bytes{0x12, 0x00, 0x33}));
}

// Each write goes to 0xB0 FF <low> with the size byte one less than the
// length; the data is what the camera needs.
TEST_F(IrCameraTest, RegisterWrites) {
    struct Write {
        uint8_t address, size;
        Bytes data;
    } writes[] = {
        {0x30, 0x01, {0x01}},       {0x00, 0x07, {0x02, 0x00, 0x00, 0x71, 0x01, 0x00, 0xC8}},
        {0x07, 0x02, {0x00, 0x36}}, {0x1A, 0x02, {0x35, 0x03}},
        {0x33, 0x01, {0x03}},       {0x30, 0x01, {0x08}},
    };
    SetUpIrCamera();
    std::vector<Bytes> sent = SentReports();
    ASSERT_EQ(sent.size(), 9u);

    for (size_t i = 0; i < 6; i++) {
        const Bytes &r = sent[2 + i];
        const Write &w = writes[i];
        EXPECT_EQ(Bytes(r.begin(), r.begin() + 6),
                  (Bytes{0x16, 0x04, 0xB0, 0xFF, w.address, w.size}))
            << "write " << i + 1;
        EXPECT_EQ(Bytes(r.begin() + 6, r.begin() + 6 + static_cast<long>(w.data.size())), w.data)
            << "write " << i + 1;
    }
    // The second write in full: the nine block bytes past its size go too.
    EXPECT_EQ(sent[3], (Bytes{0x16, 0x04, 0xB0, 0xFF, 0x00, 0x07, 0x02, 0x00, 0x00, 0x71, 0x01,
                              0x00, 0xC8, 0,    0,    0,    0,    0,    0,    0,    0,    0}));
}

// 10 ms after the camera report, none after the second camera report, 10 ms
// after each register write: seven waits, at least 70 ms in all.
TEST_F(IrCameraTest, WaitsBetweenReports) {
    SetUpIrCamera();
    std::vector<HidEvent> w = ScriptedEvents(HidEvent::Write);
    ASSERT_EQ(w.size(), 9u);

    const int64_t ms = 1000000;
    EXPECT_GT(w[1].ns - w[0].ns, 10 * ms);
    for (size_t i = 2; i < 8; i++)
        EXPECT_GT(w[i + 1].ns - w[i].ns, 10 * ms) << i;
    EXPECT_GT(w[8].ns - w[0].ns, 70 * ms);
}

} // namespace
