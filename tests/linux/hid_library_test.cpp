// The hidraw library's four calls, on stand-ins for a hidraw node that pass
// one report per read and write: a SOCK_SEQPACKET pair, and a pseudo-terminal
// whose other side has closed (reads fail with EIO, as a node whose remote
// has gone does).
#include "remote/tiny_hid_dll.h"
#include "tiny_hid_dll/hidraw_node.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <future>
#include <iterator>
#include <numeric>
#include <pthread.h>
#include <pty.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

// One end adopted as a handle; the test plays the remote at the other.
struct FakeNode {
    int handle = -1;
    int remote = -1;

    FakeNode() {
        int ends[2];
        EXPECT_EQ(socketpair(AF_UNIX, SOCK_SEQPACKET, 0, ends), 0);
        handle = AdoptHidNode(ends[0]);
        remote = ends[1];
    }
    ~FakeNode() {
        CloseHidHandle(handle);
        if (remote != -1)
            close(remote);
    }
    void Send(const std::vector<uint8_t> &report) {
        ASSERT_EQ(send(remote, report.data(), report.size(), 0), ssize_t(report.size()));
    }
};

TEST(HidLibrary, WritesExactlyEachReportsOwnLength) {
    FakeNode node;
    struct Case {
        uint8_t id;
        size_t length;
    } cases[] = {{0x11, 2}, {0x13, 2}, {0x1A, 2}, {0x12, 3}, {0x16, 22}, {0x15, 22}, {0x17, 22}};

    for (const Case &c : cases) {
        unsigned char buffer[256];
        unsigned int word = 0;
        std::iota(std::begin(buffer), std::end(buffer), static_cast<unsigned char>(0xA0));
        buffer[0] = c.id;

        EXPECT_EQ(WriteReport(node.handle, buffer, &word), int(c.length)) << int(c.id);
        uint8_t sent[512] = {};
        EXPECT_EQ(recv(node.remote, sent, sizeof sent, MSG_DONTWAIT), ssize_t(c.length));
        EXPECT_EQ(std::vector<uint8_t>(sent, sent + c.length),
                  std::vector<uint8_t>(buffer, buffer + c.length))
            << int(c.id);
    }
}

TEST(HidLibrary, ReadsOneWholeReportPerCall) {
    FakeNode node;
    std::vector<uint8_t> buttons = {0x30, 0x00, 0x04};
    std::vector<uint8_t> ir = {0x33, 0x00, 0x00, 0x80, 0x80, 0x80, 0xf4, 0x90, 0x50,
                               0x1c, 0xa4, 0x60, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff};
    node.Send(buttons);
    node.Send(ir);
    unsigned char buffer[256] = {};
    unsigned int word = 0;

    ASSERT_EQ(ReadReport(node.handle, buffer, &word), 3);
    EXPECT_EQ(std::vector<uint8_t>(buffer, buffer + 3), buttons);
    ASSERT_EQ(ReadReport(node.handle, buffer, &word), 18);
    EXPECT_EQ(std::vector<uint8_t>(buffer, buffer + 18), ir);
}

void Ignore(int) {}

TEST(HidLibrary, AReadInterruptedBySignalKeepsWaiting) {
    FakeNode node;
    struct sigaction action = {}, before;
    action.sa_handler = Ignore; // no SA_RESTART: the read fails with EINTR
    sigaction(SIGUSR1, &action, &before);

    std::promise<pthread_t> reader;
    auto read = std::async(std::launch::async, [&] {
        unsigned char buffer[256] = {};
        unsigned int word = 0;
        reader.set_value(pthread_self());
        int n = ReadReport(node.handle, buffer, &word);
        return std::make_pair(n, int(buffer[0]));
    });
    pthread_t thread = reader.get_future().get();
    for (int i = 0; i < 5; i++) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        pthread_kill(thread, SIGUSR1);
    }
    EXPECT_EQ(read.wait_for(std::chrono::milliseconds(50)), std::future_status::timeout);
    node.Send({0x31, 0x00, 0x00, 0x80, 0x80, 0x80});

    ASSERT_EQ(read.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    EXPECT_EQ(read.get(), std::make_pair(6, 0x31));
    sigaction(SIGUSR1, &before, nullptr);
}

TEST(HidLibrary, OnceTheDeviceIsGoneEveryCallFailsAtOnce) {
    int master, slave;
    ASSERT_EQ(openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
    close(slave);
    int handle = AdoptHidNode(master);
    unsigned char buffer[256] = {0x55};
    unsigned int word = 0;

    EXPECT_EQ(ReadReport(handle, buffer, &word), -1) << "EIO: the device has gone";

    // Behind the library's back, the node turns into one that would block
    // for ever: the library must not read it again.
    int ends[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_SEQPACKET, 0, ends), 0);
    dup2(ends[0], master);
    close(ends[0]);
    auto again = std::async(std::launch::async, [&] { return ReadReport(handle, buffer, &word); });
    ASSERT_EQ(again.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    EXPECT_EQ(again.get(), -1);
    buffer[0] = 0x12;
    EXPECT_EQ(WriteReport(handle, buffer, &word), -1);
    EXPECT_EQ(send(ends[1], "x", 1, MSG_DONTWAIT), 1) << "and nothing was written to it";
    char got;
    EXPECT_EQ(recv(master, &got, 1, MSG_DONTWAIT), 1);
    EXPECT_EQ(got, 'x');

    CloseHidHandle(handle);
    close(ends[1]);
}

TEST(HidLibrary, NoSuchDeviceIsMinusOne) {
    EXPECT_EQ(OpenHidHandle(0xFFFE, 0xFFFD), -1);
}

TEST(HidLibrary, UnknownHandlesAreRefused) {
    unsigned char buffer[256] = {0x11};
    unsigned int word = 0;
    for (int handle : {-1, 8, 7, 1000}) {
        EXPECT_EQ(ReadReport(handle, buffer, &word), -1) << handle;
        EXPECT_EQ(WriteReport(handle, buffer, &word), -1) << handle;
        CloseHidHandle(handle);
    }
}

} // namespace
