// The millisecond wait against a counter the test steps by hand: one tick
// is one millisecond.
#include "app/delay.h"
#include "tests/test_support.h"

static std::vector<int64_t> counts;
static size_t countsRead;

static void Counts(std::vector<int64_t> c) {
    ResetRecordingPlatform();
    counts = std::move(c);
    countsRead = 0;
    recording.counter = [] { return counts.at(countsRead++); };
    recording.counterFrequency = 1000;
}

// It ends at the first read past the deadline; a read exactly on it is not
// past.
TEST(WaitMilliseconds, EndsOnlyPastTheDeadline) {
    Counts({100, 101, 102, 103, 999});
    WaitMilliseconds(2);
    EXPECT_EQ(countsRead, 4u);
}

// A zero wait still reads the counter until time has passed; a negative
// one ends at the first read.
TEST(WaitMilliseconds, ZeroAndNegative) {
    Counts({5, 5, 5, 6, 999});
    WaitMilliseconds(0);
    EXPECT_EQ(countsRead, 4u);

    Counts({5, 5, 999});
    WaitMilliseconds(-3);
    EXPECT_EQ(countsRead, 2u);
}

// The frequency is read anew on every call.
TEST(WaitMilliseconds, ReadsTheFrequencyEachTime) {
    Counts({0, 2, 0, 2});
    WaitMilliseconds(1);
    WaitMilliseconds(1);
    EXPECT_EQ(recording.frequencyReads, 2);
}
