// The scripted remote itself: the end-to-end suites trust its scripts.
#include "platform/platform.h"
#include "remote/tiny_hid_dll.h"
#include "tests/test_support.h"

#include <thread>
#include <utility>

namespace {

using ScriptedRemoteTest = LumadrifterTest;

// A read: what it returned and the bytes it read.
using Read = std::pair<int, Bytes>;
const Read gone = {-1, {}};

Read Next() {
    unsigned char buffer[256] = {};
    unsigned int word = 0;
    int length = ReadReport(7, buffer, &word);
    return {length, Bytes(buffer, buffer + std::max(length, 0))};
}

int Write(std::vector<uint8_t> bytes) {
    unsigned char report[256] = {};
    std::copy(bytes.begin(), bytes.end(), report);
    unsigned int word = 0;
    return WriteReport(7, report, &word);
}

// The virtual remote's language, answered as the virtual remote answers: a
// mode written makes its first report at once, a change makes one of its
// own, jitter one a step; after "gone" every read fails.
TEST_F(ScriptedRemoteTest, ScriptTextServesItsSteps) {
    std::string error;
    ASSERT_TRUE(LoadScriptText("# a comment\n"
                               "await 12 00 31   # the probe\n"
                               "buttons 00 02\n"
                               "\n"
                               "jitter 1 0\n"
                               "gone\n",
                               &error));
    ASSERT_EQ(OpenHidHandle(0x057E, 0x0306), 7);
    Write({0x12, 0x00, 0x31});
    EXPECT_EQ(Next(), Read(6, {0x31, 0x00, 0x00, 0x80, 0x80, 0x9A}));
    EXPECT_EQ(Next(), Read(6, {0x31, 0x00, 0x02, 0x80, 0x80, 0x9A}));
    EXPECT_EQ(Next(), Read(6, {0x31, 0x00, 0x02, 0x81, 0x80, 0x9A})) << "the shake";
    EXPECT_EQ(Next(), gone);
    EXPECT_EQ(Next(), gone);
}

TEST_F(ScriptedRemoteTest, BadLinesAreRejected) {
    for (const char *bad :
         {"report 0 31 00", "buttons 00", "wait x", "await", "await 1x", "wobble", "absent now"}) {
        std::string error;
        EXPECT_FALSE(LoadScriptText(bad, &error)) << bad;
        EXPECT_EQ(error, bad);
    }
}

TEST_F(ScriptedRemoteTest, NoDeviceAndReportLengths) {
    ASSERT_TRUE(LoadScriptText("absent\n", nullptr));
    EXPECT_EQ(OpenHidHandle(0x057E, 0x0306), -1);
    EXPECT_EQ(Write({0x12, 0x00, 0x33}), 3);
    EXPECT_EQ(Write({0x16}), 22);
    EXPECT_EQ(Write({0x1A}), 2);
}

// A report is made when its step is due, counted from the open, never
// sooner, whenever the read is called: the remote keeps its own time.
TEST_F(ScriptedRemoteTest, DelaysCountFromTheReportBefore) {
    ASSERT_TRUE(LoadScriptText("await 12 00 31\nwait 30\njitter 1 0\n", nullptr));
    OpenHidHandle(0x057E, 0x0306);
    Write({0x12, 0x00, 0x31});
    EXPECT_EQ(Next().first, 6);
    EXPECT_EQ(Next().first, 6);
    std::vector<HidEvent> events = ScriptedEvents();
    ASSERT_EQ(events.size(), 4u);
    EXPECT_GE(events[3].ns - events[1].ns, 30 * 1000000LL);
}

// A remote silent after a status report until a mode is selected: only the
// mode's write brings the data report behind it, with the buttons pressed
// meanwhile; a write of another kind does not.
TEST_F(ScriptedRemoteTest, AnAwaitedWriteReleasesTheReportsBehindIt) {
    ASSERT_TRUE(LoadScriptText("await 12 00 33\nstatus\nbuttons 00 80\n", nullptr));
    OpenHidHandle(0x057E, 0x0306);
    Write({0x12, 0x00, 0x33});
    ASSERT_EQ(Next().first, 18);
    ASSERT_EQ(Next(), Read(7, {0x20, 0x00, 0x00, 0x00, 0x00, 0x00, 0xC8}));

    Read after;
    std::thread reader([&] { after = Next(); });
    Write({0x11, 0x10});
    SleepMilliseconds(50); // room for a wrong release to show
    Write({0x12, 0x00, 0x33});
    reader.join();

    EXPECT_EQ(after.first, 18);
    EXPECT_EQ(after.second[2], 0x80);
    std::vector<HidEvent> events = ScriptedEvents();
    ASSERT_EQ(events.size(), 7u);
    EXPECT_EQ(events[5].kind, HidEvent::Write);
    EXPECT_EQ(events[5].bytes[2], 0x33);
    EXPECT_EQ(events[6].kind, HidEvent::Read) << "read only after the mode 0x33 write";
}

} // namespace
