// The virtual remote's protocol and scenario language, without a kernel.
#include "tests/expected_reports.h"
#include "tools/virtual-remote/protocol.h"
#include "tools/virtual-remote/script.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

Bytes BytesOf(const InputReport &report) {
    return Bytes(report.bytes, report.bytes + report.length);
}

// The bytes made up to `length` with `fill`, as a report travels whole.
Bytes Padded(Bytes bytes, size_t length = 22, uint8_t fill = 0) {
    bytes.resize(length, fill);
    return bytes;
}

class VirtualRemoteTest : public ::testing::Test {
  protected:
    void SetUp() override { ResetVirtualRemote(remote); }

    // Sends an output report; returns the answers.
    std::vector<Bytes> Output(Bytes report) {
        Answers answers{};
        TakeOutputReport(remote, report.data(), static_cast<int>(report.size()), answers);
        std::vector<Bytes> out;
        for (int i = 0; i < answers.count; i++)
            out.push_back(BytesOf(answers.reports[i]));
        return out;
    }

    // A register write as the host sends it: 22 bytes, data zero-padded.
    std::vector<Bytes> WriteRegisters(uint8_t low, Bytes data) {
        Bytes report = {0x16, 0x04, 0xB0, 0xFF, low, static_cast<uint8_t>(data.size())};
        report.insert(report.end(), data.begin(), data.end());
        return Output(Padded(report));
    }

    Bytes Next(bool tick = false) { return BytesOf(NextDataReport(remote, tick)); }

    VirtualRemote remote;
};

TEST_F(VirtualRemoteTest, ReportLengthsAreTheRealRemotes) {
    const struct {
        uint8_t id;
        int length;
    } outputs[] = {{0x10, 2},  {0x11, 2}, {0x12, 3},  {0x13, 2}, {0x14, 2}, {0x15, 2},
                   {0x16, 22}, {0x17, 7}, {0x18, 22}, {0x19, 2}, {0x1A, 2}, {0x1B, 0}},
      inputs[] = {{0x20, 7}, {0x21, 22}, {0x22, 5},  {0x30, 3},
                  {0x31, 6}, {0x33, 18}, {0x37, 22}, {0x23, 0}};
    for (auto o : outputs)
        EXPECT_EQ(OutputReportLength(o.id), o.length) << std::hex << int(o.id);
    for (auto i : inputs)
        EXPECT_EQ(InputReportLength(i.id), i.length) << std::hex << int(i.id);
}

// ---- reporting modes ----

TEST_F(VirtualRemoteTest, AfterConnectingOnlyAChangeSendsAReport) {
    EXPECT_TRUE(Next().empty());
    remote.buttons[0] = 0x02;
    EXPECT_EQ(Next(), (Bytes{0x30, 0x02, 0x00}));
}

TEST_F(VirtualRemoteTest, SelectingAModeSendsItsReportAtOnceThenOnlyChanges) {
    remote.accel[0] = 0x81;
    EXPECT_TRUE(Output({0x12, 0x00, 0x31}).empty());
    EXPECT_EQ(Next(), (Bytes{0x31, 0x00, 0x00, 0x81, 0x80, 0x9A}));
    EXPECT_TRUE(Next().empty());
    EXPECT_TRUE(Next(true).empty()) << "not continuous: a tick alone sends nothing";

    remote.buttons[1] = 0x04;
    EXPECT_EQ(Next(), (Bytes{0x31, 0x00, 0x04, 0x81, 0x80, 0x9A}));
}

TEST_F(VirtualRemoteTest, ModeWithoutAccelerometerIgnoresItsChanges) {
    Output({0x12, 0x00, 0x30});
    EXPECT_EQ(Next(), (Bytes{0x30, 0x00, 0x00}));
    remote.accel[0] = 0x90;
    EXPECT_TRUE(Next().empty());
    remote.buttons[0] = 0x08;
    EXPECT_EQ(Next(), (Bytes{0x30, 0x08, 0x00}));
}

TEST_F(VirtualRemoteTest, ContinuousModeSendsOnEveryTick) {
    Output({0x12, 0x04, 0x30});
    EXPECT_EQ(Next(), (Bytes{0x30, 0x00, 0x00}));
    EXPECT_EQ(Next(true), (Bytes{0x30, 0x00, 0x00}));
    EXPECT_TRUE(Next(false).empty());
}

TEST_F(VirtualRemoteTest, UnknownOrInterleavedModeKeepsTheOldOne) {
    Output({0x12, 0x00, 0x31});
    Next();
    Output({0x12, 0x00, 0x3E});
    Output({0x12, 0x00, 0x22});
    EXPECT_EQ(remote.mode, 0x31);
}

// ---- IR camera ----

TEST_F(VirtualRemoteTest, DotsEncodeInThreeBytes) {
    const struct {
        CameraDot dot;
        Bytes bytes;
    } table[] = {
        {{true, 635, 90, 6}, {0x7B, 0x5A, 0x26}},    {{true, 500, 400, 0}, {0xF4, 0x90, 0x50}},
        {{true, 1023, 767, 15}, {0xFF, 0xFF, 0xBF}}, {{true, 0, 0, 2}, {0x00, 0x00, 0x02}},
        {{false, 12, 34, 2}, {0xFF, 0xFF, 0xFF}},
    };
    for (const auto &row : table) {
        uint8_t out[3];
        EncodeDot(row.dot, out);
        EXPECT_EQ(Bytes(out, out + 3), row.bytes) << row.dot.x << "," << row.dot.y;
    }
}

TEST_F(VirtualRemoteTest, DotsOnlyOnceTheCameraIsSetUpInModeThree) {
    remote.dots[0] = {true, 500, 400, 0};
    remote.dots[1] = {true, 540, 420, 0};
    Output({0x12, 0x00, 0x33});
    const Bytes dark = Padded({0x33, 0x00, 0x00, 0x80, 0x80, 0x9A}, 18, 0xFF);
    EXPECT_EQ(Next(), dark) << "camera off";

    for (const Bytes &report : WithZeroBlock(expectedCameraSetUp)) // as the program sets it up
        Output(report);
    EXPECT_TRUE(CameraSendsDots(remote));
    EXPECT_EQ(Next(), (Bytes{0x33, 0x00, 0x00, 0x80, 0x80, 0x9A, 0xF4, 0x90, 0x50, 0x1C, 0xA4, 0x60,
                             0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}));

    WriteRegisters(0x33, {0x01}); // basic output: not the three-byte format
    EXPECT_EQ(Next(), dark);
    WriteRegisters(0x33, {0x03});
    Output({0x13, 0x00}); // clock off
    EXPECT_TRUE(Next().empty()) << "still dark, no change to send";
    EXPECT_FALSE(CameraSendsDots(remote));
}

TEST_F(VirtualRemoteTest, RegisterWritesAreAcknowledgedAndStoredByLowByte) {
    EXPECT_EQ(WriteRegisters(0x1A, {0x35, 0x03}), (std::vector<Bytes>{{0x22, 0, 0, 0x16, 0x00}}));
    EXPECT_EQ(remote.camera[0x1A], 0x35);
    EXPECT_EQ(remote.camera[0x1B], 0x03);
    EXPECT_EQ(remote.camera[0x1C], 0x00) << "past the size nothing is written";

    EXPECT_EQ(Output(Padded({0x16, 0x04, 0xB0, 0x00, 0x00, 17})), // too long
              (std::vector<Bytes>{{0x22, 0, 0, 0x16, 0x08}}));
}

TEST_F(VirtualRemoteTest, MemoryReadsAnswerSixteenBytesAReport) {
    WriteRegisters(0x00, {0x02, 0x00, 0x00, 0x71, 0x01, 0x00, 0xC8});
    EXPECT_EQ(Output({0x17, 0x04, 0xB0, 0x00, 0x00, 0x00, 0x14}),
              (std::vector<Bytes>{
                  Padded({0x21, 0, 0, 0xF0, 0x00, 0x00, 0x02, 0x00, 0x00, 0x71, 0x01, 0x00, 0xC8}),
                  Padded({0x21, 0, 0, 0x30, 0x00, 0x10})}));
    // Nothing plugged in: an error, no data.
    EXPECT_EQ(Output({0x17, 0x04, 0xA4, 0x00, 0xFA, 0x00, 0x06}),
              (std::vector<Bytes>{Padded({0x21, 0, 0, 0x07, 0x00, 0xFA})}));
}

// ---- status, acknowledgements, rumble, LEDs ----

TEST_F(VirtualRemoteTest, StatusAnswersTheRequestAndStopsDataReports) {
    Output({0x12, 0x00, 0x31});
    Next();
    Output({0x11, 0x10});
    Output({0x13, 0x04});
    Output({0x1A, 0x04});
    EXPECT_EQ(Output({0x15, 0x00}),
              (std::vector<Bytes>{{0x20, 0x00, 0x00, 0x18, 0x00, 0x00, 0xC8}}));

    remote.buttons[1] = 0x04;
    EXPECT_TRUE(Next().empty()) << "no data reports until a mode is selected";
    Output({0x12, 0x00, 0x31});
    EXPECT_EQ(Next(), (Bytes{0x31, 0x00, 0x04, 0x80, 0x80, 0x9A}));
}

TEST_F(VirtualRemoteTest, StatusOnItsOwnAlsoStopsDataReports) {
    Output({0x12, 0x00, 0x30});
    Next();
    EXPECT_EQ(BytesOf(StatusReport(remote)), (Bytes{0x20, 0x00, 0x00, 0x00, 0x00, 0x00, 0xC8}));
    remote.buttons[0] = 0x01;
    EXPECT_TRUE(Next().empty());
}

TEST_F(VirtualRemoteTest, AcknowledgesWhenAskedAndTakesRumbleFromEveryReport) {
    EXPECT_TRUE(Output({0x11, 0x10}).empty());
    EXPECT_EQ(Output({0x11, 0x23}), (std::vector<Bytes>{{0x22, 0, 0, 0x11, 0x00}}));
    EXPECT_EQ(remote.leds, 0x20);
    EXPECT_TRUE(remote.rumble);

    const Bytes rumbleCarriers[] = {{0x13, 0x05}, {0x1A, 0x01}, {0x10, 0x01}, {0x12, 0x01, 0x33}};
    for (const Bytes &on : rumbleCarriers) {
        Output({0x10, 0x00});
        Output(on);
        EXPECT_TRUE(remote.rumble) << std::hex << int(on[0]);
    }
    Output({0x13, 0x04});
    EXPECT_FALSE(remote.rumble);
    EXPECT_TRUE(remote.cameraClock);
}

TEST_F(VirtualRemoteTest, ShortOrUnknownOutputReportsChangeNothing) {
    EXPECT_TRUE(Output({0x12, 0x00}).empty());
    EXPECT_EQ(remote.mode, 0x30);
    EXPECT_TRUE(Output({0x16, 0x04, 0xB0, 0x00, 0x30, 0x01, 0x08}).empty());
    EXPECT_EQ(remote.camera[0x30], 0);
    EXPECT_TRUE(Output({0x42, 0x02}).empty());
}

// ---- the scenario language ----

// Each dot of a step as the language writes it: "x,y", or "-" for one not seen.
std::string DotsOf(const ScriptStep &step) {
    std::string text;
    for (const CameraDot &dot : step.dots)
        text += (text.empty() ? "" : " ") +
                (dot.seen ? std::to_string(dot.x) + "," + std::to_string(dot.y) : "-");
    return text;
}

TEST(VirtualRemoteScript, ParsesEachStep) {
    const struct {
        const char *line;
        ScriptStep::Kind kind;
        int count, ms;
        Bytes bytes;
        std::string dots = "- - - -";
    } rows[] = {
        {"buttons 10 04  # Plus and B", ScriptStep::Buttons, 2, 0, {0x10, 0x04}},
        {"dots 500,400 - 1023,767", ScriptStep::Dots, 0, 0, {}, "500,400 - 1023,767 -"},
        {"jitter 5 30", ScriptStep::Jitter, 5, 30, {}},
        {"await 12 00 33", ScriptStep::Await, 3, 0, {0x12, 0x00, 0x33}},
        {"status", ScriptStep::Status, 0, 0, {}},
        {"status ahead", ScriptStep::Status, 1, 0, {}},
        {"await open", ScriptStep::AwaitOpen, 0, 0, {}},
        {"absent", ScriptStep::Absent, 0, 0, {}},
        {"   # only a comment", ScriptStep::Nothing, 0, 0, {}},
    };
    ScriptStep step;
    for (const auto &row : rows) {
        SCOPED_TRACE(row.line);
        ASSERT_TRUE(ParseScriptLine(row.line, &step));
        EXPECT_EQ(step.kind, row.kind);
        EXPECT_EQ(step.count, row.count);
        EXPECT_EQ(step.ms, row.ms);
        EXPECT_EQ(Bytes(step.bytes, step.bytes + row.bytes.size()), row.bytes);
        EXPECT_EQ(DotsOf(step), row.dots);
    }
    ASSERT_TRUE(ParseScriptLine("await 12 00 33", &step));
    EXPECT_TRUE(OutputMatches(step, Bytes{0x12, 0x00, 0x33}.data(), 3));
    EXPECT_FALSE(OutputMatches(step, Bytes{0x12, 0x00, 0x31}.data(), 3));
    EXPECT_FALSE(OutputMatches(step, Bytes{0x12, 0x00}.data(), 2));
}

TEST(VirtualRemoteScript, RejectsWhatItCannotPlay) {
    for (const char *line :
         {"buttons 04", "buttons 00 100", "accel 80 80", "dots 500", "dots 1024,0", "dots 0,768",
          "dots 1,1 2,2 3,3 4,4 5,5", "jitter 0 10", "wait", "wait -5", "status now",
          "status ahead now", "await", "await open later", "gone 5", "absent now", "hold 5",
          "release now", "press B"}) {
        ScriptStep step;
        EXPECT_FALSE(ParseScriptLine(line, &step)) << line;
    }
}

// ---- playing a scenario ----

std::vector<Bytes> sentByScript;

void RecordSent(const InputReport &report) {
    if (report.length > 0)
        sentByScript.push_back(BytesOf(report));
}

ScriptPlayer PlayerOf(std::initializer_list<const char *> lines) {
    ScriptPlayer player;
    for (const char *line : lines) {
        ScriptStep step;
        EXPECT_TRUE(ParseScriptLine(line, &step)) << line;
        player.steps.push_back(step);
    }
    return player;
}

class VirtualRemotePlay : public VirtualRemoteTest {
  protected:
    void SetUp() override {
        VirtualRemoteTest::SetUp();
        sentByScript.clear();
        Output({0x12, 0x00, 0x30});
        Next();
    }
    StepResult Run(ScriptPlayer &player, int64_t nowUs, int opened = 1) {
        return RunDueSteps(player, {&remote, opened, RecordSent}, nowUs);
    }
    // Plays the player's steps, from a hold on; the host writes a register,
    // whose acknowledgement is kept too; then `more` plays. The ids of what
    // went out.
    std::vector<uint8_t> HoldThen(ScriptPlayer &player, std::initializer_list<const char *> more) {
        EXPECT_EQ(Run(player, 0), StepWaiting);
        Bytes write = Padded({0x16, 0x04, 0xB0, 0xFF, 0x30, 0x01, 0x08});
        TakeHostReport(player, {&remote, 1, RecordSent}, write.data(), 22);
        EXPECT_TRUE(sentByScript.empty()) << "the acknowledgement is kept too";
        for (const ScriptStep &step : PlayerOf(more).steps)
            player.steps.push_back(step);
        EXPECT_EQ(Run(player, 10), StepWaiting);
        std::vector<uint8_t> ids;
        for (const Bytes &report : sentByScript)
            ids.push_back(report[0]);
        return ids;
    }
};

// A wait holds the steps after it until its time; poll is woken for it.
TEST_F(VirtualRemotePlay, AWaitHoldsTheStepsAfterIt) {
    ScriptPlayer player = PlayerOf({"buttons 00 04", "wait 50", "buttons 00 00", "gone"});
    EXPECT_EQ(Run(player, 1000), StepWaiting);
    EXPECT_EQ(sentByScript, (std::vector<Bytes>{{0x30, 0x00, 0x04}}));
    EXPECT_EQ(NextStepDueUs(player, 1000), 51000);

    EXPECT_EQ(Run(player, 50999), StepWaiting);
    EXPECT_EQ(sentByScript.size(), 1u) << "not before the wait ends";
    EXPECT_EQ(Run(player, 51000), StepGone);
    EXPECT_EQ(sentByScript.back(), (Bytes{0x30, 0x00, 0x00}));

    // No remote at all: it goes before any step after.
    ScriptPlayer absent = PlayerOf({"absent", "status"});
    EXPECT_EQ(Run(absent, 0), StepGone);
    EXPECT_EQ(sentByScript.size(), 2u);
}

// An await takes an output report that came before it was reached, once;
// one that never comes gives up after its limit.
TEST_F(VirtualRemotePlay, AnAwaitTakesEachOutputOnce) {
    ScriptPlayer player = PlayerOf({"await 12 00 33", "await 12 00 33", "status"});
    player.outputs.push_back({0x12, 0x00, 0x33});
    EXPECT_EQ(Run(player, 0), StepWaiting);
    EXPECT_EQ(player.next, 1u) << "the second await waits for a report of its own";
    EXPECT_TRUE(sentByScript.empty());
    EXPECT_EQ(NextStepDueUs(player, 0), 20'000'000) << "woken for the await's limit";

    player.outputs.push_back({0x12, 0x00, 0x33});
    EXPECT_EQ(Run(player, 10), StepWaiting);
    EXPECT_EQ(sentByScript.size(), 1u);
    EXPECT_EQ(sentByScript[0][0], 0x20) << "the status report after both";

    ScriptPlayer never = PlayerOf({"await open"});
    EXPECT_EQ(Run(never, 0, 0), StepWaiting);
    EXPECT_EQ(Run(never, 20'000'000, 0), StepFailed);
}

// Between hold and release nothing goes out, the answers to the host
// included; the release sends what was kept in order, and later reports go
// out at once.
TEST_F(VirtualRemotePlay, AHoldKeepsEveryReportUntilTheRelease) {
    ScriptPlayer player = PlayerOf({"hold", "buttons 00 04", "buttons 00 00"});
    EXPECT_EQ(HoldThen(player, {"release", "status"}),
              (std::vector<uint8_t>{0x30, 0x30, 0x22, 0x20}));
    EXPECT_EQ(sentByScript[0][2], 0x04);
    EXPECT_EQ(sentByScript[1][2], 0x00);
    EXPECT_TRUE(player.held.empty());
    EXPECT_FALSE(HoldReport(player, InputReport{{0x22}, 5}));
}

// "status ahead" goes out at once while the rest is kept: whoever reads
// next reads it before the acknowledgement made earlier.
TEST_F(VirtualRemotePlay, AStatusAheadOvertakesWhatIsHeld) {
    ScriptPlayer player = PlayerOf({"hold", "buttons 00 04"});
    EXPECT_EQ(HoldThen(player, {"status ahead", "release"}),
              (std::vector<uint8_t>{0x20, 0x30, 0x22}));
    EXPECT_EQ(sentByScript[0][2], 0x04) << "it carries the buttons as they are, B held";
    EXPECT_FALSE(remote.reporting) << "a status report stops the data reports, ahead or not";
}

} // namespace
