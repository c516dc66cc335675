// Sharing the remote with the kernel's own driver: which reports show that
// the driver has chosen a reporting mode of its own.
#include "tiny_hid_dll/linux_driver_sharing.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

struct Shared {
    SharedRemote remote{};
    explicit Shared(bool withDriver) { remote.withDriver = withDriver; }
    void Sent(Bytes report) { NoteOutputReport(&remote, report.data()); }
    // The mode report to send again, or nothing.
    Bytes After(Bytes report) {
        unsigned char again[3];
        if (!ModeTakenAway(&remote, report.data(), static_cast<int>(report.size()), again))
            return {};
        return Bytes(again, again + 3);
    }
};

TEST(SharedRemote, ADataReportOfAnotherModeBringsTheProgramsModeBack) {
    Shared shared(true);
    shared.Sent({0x12, 0x00, 0x31});
    shared.Sent({0x11, 0x10});
    shared.Sent({0x12, 0x04, 0x33});
    EXPECT_EQ(shared.After({0x30, 0x00, 0x00}), (Bytes{0x12, 0x04, 0x33}));
    EXPECT_EQ(shared.After({0x31, 0x00, 0x00, 0x80, 0x80, 0x9A}), (Bytes{0x12, 0x04, 0x33}));
    EXPECT_EQ(shared.After({0x37, 0x00, 0x00}), (Bytes{0x12, 0x04, 0x33}));
}

TEST(SharedRemote, ReportsThatSayNothingOfTheModeChangeNothing) {
    Shared shared(true);
    shared.Sent({0x12, 0x00, 0x33});
    const Bytes quiet[] = {
        {0x33, 0x00, 0x00, 0x80, 0x80, 0x9A}, // the program's own mode
        {0x20, 0x00, 0x00, 0x10, 0x00, 0x00, 0xC8},
        {0x21, 0x00, 0x00, 0x07, 0x00, 0xFA},
        {0x22, 0x00, 0x00, 0x16, 0x00},
        {},
    };
    for (const Bytes &report : quiet)
        EXPECT_EQ(shared.After(report), Bytes{}) << (report.empty() ? -1 : report[0]);
}

TEST(SharedRemote, NothingIsSentAgainWithoutADriverOrBeforeAModeWasChosen) {
    Shared alone(false);
    alone.Sent({0x12, 0x00, 0x33});
    EXPECT_EQ(alone.After({0x30, 0x00, 0x00}), Bytes{});

    Shared early(true);
    EXPECT_EQ(early.After({0x30, 0x00, 0x00}), Bytes{});
}

} // namespace
