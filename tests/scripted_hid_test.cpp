// The scripted remote itself: the end-to-end suites trust its scripts.
#include "platform/platform.h"
#include "remote/tiny_hid_dll.h"
#include "tests/test_support.h"

#include <thread>

namespace {

using ScriptedRemoteTest = LumadrifterTest;

int Read(unsigned char *buffer) {
    unsigned int word = 0;
    return ReadReport(7, buffer, &word);
}

TEST_F(ScriptedRemoteTest, ScriptTextServesItsSteps) {
    std::string error;
    ASSERT_TRUE(LoadScriptText("# a comment\n"
                               "report 0 31 00 00 80 80 80   # probe\n"
                               "repeat 2 0 30 00 02\n"
                               "\n"
                               "gone 0\n",
                               &error));
    unsigned char buffer[256] = {};
    EXPECT_EQ(Read(buffer), 6);
    EXPECT_EQ(buffer[3], 0x80);
    EXPECT_EQ(Read(buffer), 3);
    EXPECT_EQ(Read(buffer), 3);
    EXPECT_EQ(buffer[2], 0x02);
    EXPECT_EQ(Read(buffer), -1);
    EXPECT_EQ(Read(buffer), -1);
}

TEST_F(ScriptedRemoteTest, BadLinesAreRejected) {
    for (const char *bad : {"report 10", "report x 31", "report 0 31 zz", "report 0 100",
                            "repeat 0 10 31", "await", "await 1x", "wobble", "device maybe"}) {
        std::string error;
        EXPECT_FALSE(LoadScriptText(bad, &error)) << bad;
        EXPECT_EQ(error, bad);
    }
}

TEST_F(ScriptedRemoteTest, NoDeviceAndReportLengths) {
    ASSERT_TRUE(LoadScriptText("device none\n", nullptr));
    EXPECT_EQ(OpenHidHandle(0x057E, 0x0306), -1);

    unsigned char report[256] = {0x12, 0x00, 0x33};
    unsigned int word = 0;
    EXPECT_EQ(WriteReport(7, report, &word), 3);
    report[0] = 0x16;
    EXPECT_EQ(WriteReport(7, report, &word), 22);
    report[0] = 0x1A;
    EXPECT_EQ(WriteReport(7, report, &word), 2);
}

// Each report is due its delay after the one before it was returned, never
// sooner, whenever the read is called: the remote keeps its own time.
TEST_F(ScriptedRemoteTest, DelaysCountFromTheReportBefore) {
    ScriptReport(30, ProbeReport());
    ScriptReport(30, ProbeReport(0x81));
    unsigned char buffer[256];
    EXPECT_EQ(Read(buffer), 6);
    EXPECT_EQ(Read(buffer), 6);
    std::vector<HidEvent> reads = ScriptedEvents(HidEvent::Read);
    ASSERT_EQ(reads.size(), 2u);
    EXPECT_GE(reads[1].ns - reads[0].ns, 30 * 1000000LL);
}

// A remote silent until a mode is selected: only a matching write made after
// the report before the step releases the reads behind it; a write before
// that report, or of another mode, does not.
TEST_F(ScriptedRemoteTest, AnAwaitedWriteReleasesTheReportsBehindIt) {
    ASSERT_TRUE(LoadScriptText("report 0 20 00 00 02 00 00 c8\n"
                               "await 12 00 33\n"
                               "report 0 30 00 00\n",
                               nullptr));
    unsigned char mode33[256] = {0x12, 0x00, 0x33}, mode31[256] = {0x12, 0x00, 0x31};
    unsigned int word = 0;
    unsigned char status[256], after[256];
    WriteReport(7, mode33, &word);
    ASSERT_EQ(Read(status), 7);

    int length = 0;
    std::thread reader([&] { length = Read(after); });
    WriteReport(7, mode31, &word);
    SleepMilliseconds(50); // room for a wrong release to show
    WriteReport(7, mode33, &word);
    reader.join();

    EXPECT_EQ(length, 3);
    std::vector<HidEvent> events = ScriptedEvents();
    ASSERT_EQ(events.size(), 5u);
    EXPECT_EQ(events[3].kind, HidEvent::Write);
    EXPECT_EQ(events[3].bytes[2], 0x33);
    EXPECT_EQ(events[4].kind, HidEvent::Read) << "read only after the mode 0x33 write";
}

} // namespace
