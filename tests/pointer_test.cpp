// The IR pointer: where the cursor goes, and the tracking messages.
#include "mouse/pointer.h"
#include "tests/test_support.h"

#include <tuple>

using Point = std::pair<int, int>;

class PointerTest : public LumadrifterTest {
  protected:
    void SetUp() override {
        LumadrifterTest::SetUp();
        recording.screenWidth = 100000; // wide enough that nothing is clamped
        recording.screenHeight = 100000;
    }

    void SeeDots(int x1, int y1, int x2, int y2) { remoteState = {0, 0, 0, x1, y1, x2, y2}; }

    static Point Asked() { return {recording.placements.back().x, recording.placements.back().y}; }

    PassState pass;
};

// Midpoint (520, 410), mirrored in x and scaled by 3 about (512, 512):
// target (488, 206), a sixth of the way from (600, 300). With no smoothed
// position, (0, 0), the cursor goes straight to the target: at the start, and
// whenever the smoothing lands on (0, 0). Every division truncates toward
// zero, negative values included. The rows run in turn on one pass state.
TEST_F(PointerTest, GlidesASixthOfTheWayToTheTarget) {
    struct Case {
        int x1, y1, x2, y2;
        Point from, asked;
    } cases[] = {
        {500, 400, 540, 420, {0, 0}, {488, 206}},      // the start
        {500, 400, 540, 420, {0, 0}, {488, 206}},      // the smoothing back at (0, 0)
        {500, 400, 540, 420, {600, 300}, {581, 284}},  // a sixth of the way
        {700, 512, 702, 512, {-100, 512}, {-92, 512}}, // target x 512 - 3 * 189 = -55
        {1022, 0, 0, 1, {0, 0}, {515, -1024}},         // midpoint (511, 0): y target -1024
    };
    for (const Case &c : cases) {
        SeeDots(c.x1, c.y1, c.x2, c.y2);
        std::tie(pass.smoothX, pass.smoothY) = c.from;
        UpdatePointer(pass);
        SCOPED_TRACE(testing::Message() << c.x1 << " from " << c.from.first);
        EXPECT_EQ(Asked(), c.asked);
        EXPECT_EQ(Point(pass.smoothX, pass.smoothY), c.asked);
    }
}

// Before any IR data every dot reads (0, 0), which counts as seen: the
// cursor is sent far off the screen and the system clamps it.
TEST_F(PointerTest, DotsAtZeroBeforeIrData) {
    recording.screenWidth = 1920;
    recording.screenHeight = 1080;
    UpdatePointer(pass);
    const CursorRecord &c = recording.placements.back();
    EXPECT_EQ(Point(c.x, c.y), Point(2048, -1024));
    EXPECT_EQ(Point(c.placedX, c.placedY), Point(1919, 0));
    EXPECT_EQ(Point(pass.smoothX, pass.smoothY), Point(2048, -1024));
}

// Nothing is said until tracking is first lost; then one line a change.
// Only the X coordinates tell whether a dot is seen.
TEST_F(PointerTest, TrackingMessages) {
    const Bytes seen = DotsReport(500, 400, 540, 420);
    const Bytes firstLost = DotsReport(1023, 400, 540, 420);
    const Bytes secondLost = DotsReport(500, 400, 1023, 420);
    const Bytes yOff = DotsReport(500, 1023, 540, 1023);

    RunPasses({seen, yOff, firstLost, firstLost, secondLost, seen, seen, ButtonsReport(0, 0)});
    EXPECT_EQ(recording.console, "IR-Track NG\nIR-Track Ok\nIR-Track NG\n");
}

// While tracking is lost the cursor is left alone, and the smoothing picks
// up from where the pointer last put it, not where the D-pad took it.
TEST_F(PointerTest, LossLeavesTheCursorAlone) {
    SeeDots(500, 400, 540, 420);
    UpdatePointer(pass);
    size_t placed = recording.placements.size();

    SeeDots(1023, 400, 540, 420);
    UpdatePointer(pass);
    EXPECT_EQ(recording.placements.size(), placed);

    recording.cursorX = 50;
    SeeDots(400, 400, 440, 420); // target (788, 206)
    UpdatePointer(pass);
    EXPECT_EQ(Asked(), Point(538, 206));
}
