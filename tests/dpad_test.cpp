// The D-pad: acceleration, braking, gliding and the screen's edge.
#include "tests/test_support.h"

class DpadTest : public LumadrifterTest {
  protected:
    void SetUp() override {
        LumadrifterTest::SetUp();
        recording.cursorX = 1000;
        recording.cursorY = 500;
    }

    // How far the cursor moved in each pass, on one axis, as Runs words.
    static std::string Moves(bool xAxis) {
        std::vector<std::string> moves;
        int last = xAxis ? 1000 : 500;
        for (const CursorRecord &c : recording.placements) {
            moves.push_back(std::to_string((xAxis ? c.placedX : c.placedY) - last));
            last = xAxis ? c.placedX : c.placedY;
        }
        return Runs(moves);
    }
};

static const uint8_t left = 0x01, right = 0x02, down = 0x04, up = 0x08;

// Held from rest, speeds 1, 2, ... 16 move 0, 0, 1, ... 14 pixels, never
// more. Released at 16 the speed glides 8, 4, 2, 1, 0, moving 6, 2, 0, 0, 0:
// had it stuck at 1, the next press the other way would first brake and
// start a pass late. Reversing at full speed brakes to 4 (still 2 pixels the
// old way), 1, 0, then accelerates the other way from -1. Up the screen is
// negative y; Down beats Up and Left beats Right; diagonals move both axes.
TEST_F(DpadTest, AccelerateBrakeAndGlide) {
    struct Row {
        std::vector<Hold> holds;
        std::string x, y;
    } rows[] = {
        // AccelerateThenGlide
        {{{right, 0, 20}, {0, 0, 5}}, "0*2 1 2 3 4 5 6 7 8 9 10 11 12 13 14*5 6 2 0*3", "0*25"},
        // UpIsNegativeAndDownGlidesToRest
        {{{up, 0, 40}, {0, 0, 5}, {down, 0, 20}, {0, 0, 5}, {up, 0, 3}},
         "0*73",
         "0*2 -1 -2 -3 -4 -5 -6 -7 -8 -9 -10 -11 -12 -13 -14*25 -6 -2 0*5 "
         "1 2 3 4 5 6 7 8 9 10 11 12 13 14*5 6 2 0*5 -1"},
        // OppositeDirectionBrakes
        {{{right, 0, 16}, {left, 0, 6}}, "0*2 1 2 3 4 5 6 7 8 9 10 11 12 13 14 2 0*4 -1", "0*22"},
        // ShortPressMovesNothing
        {{{right, 0, 2}, {0, 0, 3}}, "0*5", "0*5"},
        // ConflictsAndDiagonals
        {{{up | down | left | right, 0, 5}}, "0*2 -1 -2 -3", "0*2 1 2 3"},
        {{{up | right, 0, 5}}, "0*2 1 2 3", "0*2 -1 -2 -3"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.x);
        SetUp();
        RunPasses(Holding(row.holds));
        EXPECT_EQ(Moves(true), row.x);
        EXPECT_EQ(Moves(false), row.y);
    }
}

// The cursor is placed in every pass, even when it does not move, and the
// system keeps it on the screen.
TEST_F(DpadTest, PlacedEveryPassAndClampedAtTheEdge) {
    recording.cursorX = 1915;
    RunPasses(Holding({{right, 0, 10}, {0, 0, 3}}));
    ASSERT_EQ(recording.placements.size(), 13u);
    // Each pass starts from where the system left the cursor, at the edge.
    EXPECT_EQ(recording.placements[6].x, 1919 + 5);
    EXPECT_EQ(recording.placements[6].placedX, 1919);
    EXPECT_EQ(recording.placements.back().placedX, 1919);
}

// With the pointer tracking, the D-pad's move is added to where the pointer
// just put the cursor, and does not build up over passes.
TEST_F(DpadTest, AddsToThePointerWithoutBuildingUp) {
    RunPasses(std::vector<Bytes>(8, DotsReport(500, 400, 540, 420, right, 0)));

    // Each pass places the cursor twice: the pointer (488, 206), then the D-pad.
    ASSERT_EQ(recording.placements.size(), 16u);
    for (size_t i = 0; i < 16; i += 2) {
        EXPECT_EQ(recording.placements[i].x, 488) << i;
        EXPECT_EQ(recording.placements[i + 1].x, 488 + std::max(0, int(i / 2) + 1 - 2)) << i;
    }
}
