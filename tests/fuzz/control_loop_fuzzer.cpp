// Drives the control loop with any sequence of input reports and console
// keys, and checks after every step what must always hold:
//  - a D-pad move is at most 14 pixels an axis (so its speeds stay in -16..16);
//  - the tracking messages alternate, "IR-Track NG" first;
//  - every wheel event is +64 or -64, and comes from One, Two, Plus or Minus;
//  - each mouse button goes down and up in turn, down first, and none is
//    left down when the loop has ended;
//  - inside the loop the remote is sent only the buzz (13 05, 13 04) and the
//    reporting mode again (12 00 33);
//  - nothing is allocated on the heap inside the loop.
//
// Input: a stream of steps. A byte 0xF0..0xFF is a key, whose code is the
// next byte; any other byte b is a report of (b & 0x1F) bytes that follow.
// When the input runs out the remote is gone, which ends the loop.
#include "app/control_loop.h"
#include "platform/platform.h"
#include "remote/reports.h"
#include "remote/tiny_hid_dll.h"
#include "tests/fuzz/fuzz_check.h"
#include "tests/recording_platform.h"

#include <sanitizer/allocator_interface.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

struct Session {
    const uint8_t *data;
    size_t size, at;
    bool leftDown, rightDown;
    long heapInLoop;
    bool dpadRead; // the D-pad has read the cursor, at (readX, readY), and will place it next
    int readX, readY;
    int lastMessage = -1; // -1 none, 0 NG, 1 Ok
    int64_t counter;
};

Session s;

// A key typed while a read waited is there from the next key test on; a
// full console (64 keys) drops keys.
void TakeKeys() {
    while (s.at < s.size && s.data[s.at] >= 0xF0) {
        s.at++;
        int code = s.at < s.size ? s.data[s.at++] : 27;
        if (recording.keys.size() - size_t(recording.keysRead) < 64)
            FeedKey(code, recording.keyPolls + 1);
    }
}

void CheckMouseEvent(unsigned flags, int data) {
    const RemoteState &r = remoteState;
    if (flags == MouseWheel) {
        bool up = data == 64;
        Check(up || data == -64, "wheel amount other than 64");
        Check(up ? (r.buttons2 & 0x02) || (r.buttons2 & 0x10)
                 : (r.buttons2 & 0x01) || (r.buttons1 & 0x10),
              up ? "wheel up without One or Minus" : "wheel down without Two or Plus");
        return;
    }
    bool left = flags == MouseLeftDown || flags == MouseLeftUp;
    bool down = flags == MouseLeftDown || flags == MouseRightDown;
    Check(left || flags == MouseRightDown || flags == MouseRightUp, "unknown mouse event");
    bool &held = left ? s.leftDown : s.rightDown;
    Check(held != down, down ? "a button down twice" : "a button up without down");
    held = down;
}

void CheckPlacement(int x, int y) {
    if (s.dpadRead) {
        Check(std::abs(x - s.readX) <= 14 && std::abs(y - s.readY) <= 14,
              "a D-pad move over 14 pixels");
        s.dpadRead = false;
    }
}

void CheckConsoleText(const char *text) {
    bool ng = std::strcmp(text, "IR-Track NG\n") == 0;
    Check(ng || std::strcmp(text, "IR-Track Ok\n") == 0,
          "console text other than a tracking message");
    Check(ng ? s.lastMessage != 0 : s.lastMessage == 0, "tracking messages out of turn");
    s.lastMessage = ng ? 0 : 1;
}

} // namespace

// The sanitizer's allocator reports every allocation, malloc and new alike,
// from every thread: only this thread's count, inside the loop.
static thread_local bool inLoop;

static void CountAllocation(const volatile void *, size_t) {
    if (inLoop)
        s.heapInLoop++;
}

static void IgnoreFree(const volatile void *) {}

static const int hooks = __sanitizer_install_malloc_and_free_hooks(CountAllocation, IgnoreFree);

extern "C" {

int OpenHidHandle(int, int) {
    return 7;
}

int WriteReport(int, unsigned char *r, unsigned int *) {
    bool buzz = r[0] == 0x13 && (r[1] == 0x05 || r[1] == 0x04);
    bool mode = r[0] == 0x12 && r[1] == 0x00 && r[2] == 0x33;
    Check(buzz || mode, "only the buzz and the reporting mode inside the loop");
    return 2;
}

// The cursor reads come in D-pad order: each read is placed before the
// next pass reads the remote.
int ReadReport(int, unsigned char *report, unsigned int *) {
    Check(!s.dpadRead, "the D-pad read the cursor and did not place it");
    TakeKeys();
    if (s.at >= s.size)
        return -1;
    size_t length = s.data[s.at++] & 0x1F, n = std::min(length, s.size - s.at);
    std::memcpy(report, s.data + s.at, n);
    s.at += n;
    return static_cast<int>(n);
}

void CloseHidHandle(int) {}

} // extern "C"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    s = Session();
    s.data = data;
    s.size = size;
    remoteLink = RemoteLink();
    remoteState = RemoteState();
    remoteLink.handle = 7;
    // The platform records nothing that takes memory, so that a pass that
    // allocates shows; its hooks check each call. A millisecond a counter
    // read: the buzz's wait passes in 81 reads.
    ResetRecordingPlatform();
    recording.keep = false;
    recording.keys.reserve(4096); // never grown inside the loop
    recording.cursorX = 960;
    recording.cursorY = 540;
    recording.onMouseEvent = CheckMouseEvent;
    recording.onPlaceCursor = CheckPlacement;
    recording.onReadCursor = [](int x, int y) {
        s.readX = x;
        s.readY = y;
        s.dpadRead = true;
    };
    recording.onMessage = [](const char *) { Check(false, "no message inside the loop"); };
    recording.onConsoleText = CheckConsoleText;
    recording.counter = [] { return s.counter++; };
    recording.counterFrequency = 1000;

    inLoop = true;
    RunControlLoop();
    inLoop = false;

    Check(hooks != 0 && s.heapInLoop == 0, "heap allocation inside the control loop");
    Check(!s.leftDown && !s.rightDown, "a button left down");
    Check(!s.dpadRead, "the D-pad read the cursor and did not place it");
    return 0;
}
