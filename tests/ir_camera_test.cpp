// The IR camera set-up: nine reports, in order, with their waits.
#include "remote/ir_camera.h"
#include "tests/test_support.h"

using IrCameraTest = LumadrifterTest;

// The camera and its logic on, six register writes, mode 0x33. Each write
// goes to 0xB0 FF <low> with its size byte and travels whole, 22 bytes; the
// data is what the camera needs.
TEST_F(IrCameraTest, NineReportsInOrderWithTheirRegisterWrites) {
    SetUpIrCamera();
    EXPECT_EQ(SentReports(), FromOneBuffer(Joined(expectedCameraSetUp, {{0x12, 0x00, 0x33}})));
    for (const Bytes &r : expectedCameraSetUp)
        if (IsRegisterWrite(r)) {
            EXPECT_EQ(r[5], r.size() - 6) << Hex(r) << ": size byte";
        }
    // The second write in full: the nine block bytes past its size go too.
    // Written out here, it also checks how the shared table's FromOneBuffer
    // sees the buffer.
    const Bytes second = {0x16, 0x04, 0xB0, 0xFF, 0x00, 0x07, 0x02, 0x00, 0x00, 0x71, 0x01,
                          0x00, 0xC8, 0,    0,    0,    0,    0,    0,    0,    0,    0};
    EXPECT_EQ(SentReports()[3], second);
    EXPECT_EQ(FromOneBuffer(expectedCameraSetUp)[3], second);
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
