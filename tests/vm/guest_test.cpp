// Tests that run inside the VM, on Debian's own kernel: the virtual remote
// through uhid and hidraw, and the real program against it.
#include "tests/vm/guest_support.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace {

const char remoteTool[] = "/vm/virtual-remote";

// The virtual remote, playing a script that the test hands it when ready.
struct RemoteRun {
    Child child;
    std::string log = "/tmp/remote.log";

    void Start(const std::string &name) {
        log = "/tmp/" + name + ".remote.log";
        child = StartChild({remoteTool, "--log", log}, {}, "/tmp/" + name + ".remote.out",
                           "/tmp/" + name + ".remote.err", true);
    }
    void Play(const std::string &script) {
        WriteToChild(child, ReadFile("/vm/" + script));
        CloseChildInput(child);
    }
    ~RemoteRun() { StopChild(child); }
};

// A raw node opened by the test itself: reports written and read whole.
struct RawNode {
    int fd = -1;
    explicit RawNode(const std::string &path) { fd = open(path.c_str(), O_RDWR | O_CLOEXEC); }
    ~RawNode() {
        if (fd >= 0)
            close(fd);
    }
    int Write(const Bytes &report) {
        return static_cast<int>(write(fd, report.data(), report.size()));
    }
    // The next input report, or nothing after ms.
    Bytes Read(int ms = 2000) {
        pollfd ready = {fd, POLLIN, 0};
        if (poll(&ready, 1, ms) <= 0)
            return {};
        uint8_t buffer[256];
        ssize_t n = read(fd, buffer, sizeof buffer);
        return n > 0 ? Bytes(buffer, buffer + n) : Bytes{};
    }
};

Bytes RegisterWrite(uint8_t low, Bytes data) {
    Bytes report = {0x16, 0x04, 0xB0, 0xFF, low, static_cast<uint8_t>(data.size())};
    report.insert(report.end(), data.begin(), data.end());
    report.resize(22);
    return report;
}

// The camera set-up as the program sends it.
std::vector<Bytes> CameraSetUp() {
    return {{0x13, 0x04},
            {0x1A, 0x04},
            RegisterWrite(0x30, {0x01}),
            RegisterWrite(0x00, {0x02, 0x00, 0x00, 0x71, 0x01, 0x00, 0xC8}),
            RegisterWrite(0x07, {0x00, 0x36}),
            RegisterWrite(0x1A, {0x35, 0x03}),
            RegisterWrite(0x33, {0x03}),
            RegisterWrite(0x30, {0x08})};
}

Bytes Data33(Bytes dots) {
    Bytes report = {0x33, 0x00, 0x00, 0x80, 0x80, 0x9A};
    report.insert(report.end(), dots.begin(), dots.end());
    return report;
}

// The virtual remote through the kernel's raw node, read and written by the
// test: the kernel takes its reports at their real lengths, and it answers
// as the real remote does.
TEST(Vm, VirtualRemoteAnswersThroughHidraw) {
    RemoteRun remote;
    remote.Start("hidraw");
    std::string path = FindHidraw(0x057E, 0x0306, 10000);
    ASSERT_NE(path, "") << ReadFile("/tmp/hidraw.remote.err");
    RawNode node(path);
    ASSERT_GE(node.fd, 0);
    remote.Play("hidraw.remote");

    ASSERT_EQ(node.Write({0x12, 0x00, 0x31}), 3);
    EXPECT_EQ(node.Read(), (Bytes{0x31, 0x00, 0x00, 0x80, 0x80, 0x9A})) << "a report at once";
    node.Write({0x11, 0x10});
    node.Write({0x15, 0x00});
    EXPECT_EQ(node.Read(), (Bytes{0x20, 0x00, 0x00, 0x10, 0x00, 0x00, 0xC8})) << "status";

    for (const Bytes &report : CameraSetUp()) {
        ASSERT_EQ(node.Write(report), static_cast<int>(report.size()));
        if (report[0] == 0x16) {
            EXPECT_EQ(node.Read(), (Bytes{0x22, 0x00, 0x00, 0x16, 0x00})) << Hex(report);
        }
    }
    node.Write({0x12, 0x00, 0x33});
    Bytes dark(12, 0xFF);
    EXPECT_EQ(node.Read(), Data33(dark)) << "the dots come once the script reaches them";
    EXPECT_EQ(node.Read(),
              Data33({0xF4, 0x90, 0x52, 0x1C, 0xA4, 0x62, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(node.Read(), (Bytes{0x20, 0x00, 0x00, 0x18, 0x00, 0x00, 0xC8}))
        << "a status report on its own: LED 1, camera on";
    EXPECT_EQ(node.Read(500), Bytes{}) << "no data reports after a status report";

    EXPECT_EQ(WaitChild(remote.child, 10000), 0) << ReadFile("/tmp/hidraw.remote.err");
    std::vector<Bytes> outputs = Reports(ReadRemoteLog(remote.log), "output");
    std::vector<Bytes> sent = {{0x12, 0x00, 0x31}, {0x11, 0x10}, {0x15, 0x00}};
    for (const Bytes &report : CameraSetUp())
        sent.push_back(report);
    sent.push_back({0x12, 0x00, 0x33});
    EXPECT_EQ(outputs, sent) << "every output report, whole and at its length";
}

} // namespace
