// The uinput event encoder against any mouse events and placements.
//
// Input: steps of 9 bytes: [0] which (even: a mouse event, odd: a
// placement), [1..4] and [5..8] two little-endian 32-bit values (flags and
// data, or x and y). Checks:
//  - a call encodes at most MaxPointerEvents records, and each frame ends in
//    a SYN_REPORT;
//  - absolute positions stay on the screen, buttons are 0 or 1;
//  - the hi-res wheel carries each amount itself, and the legacy wheel's
//    clicks never run ahead of the hi-res sum: clicks * 120 plus what is
//    left always equals all the amounts given.
#include "platform/linux_uinput_frames.h"
#include "platform/platform.h"
#include "tests/fuzz/fuzz_check.h"

#include <cstdint>
#include <cstring>

static int32_t Value(const uint8_t *p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return static_cast<int32_t>(v);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    UinputPointer pointer = {1920, 1080, 0, 0, 0};
    int64_t hiResSum = 0, legacySum = 0;

    for (size_t at = 0; at + 9 <= size; at += 9) {
        input_event out[MaxPointerEvents + 1];
        int32_t a = Value(data + at + 1), b = Value(data + at + 5);
        int n;
        bool wheel = false;

        if (data[at] % 2 == 0) {
            wheel = (a & MouseWheel) && b != 0;
            hiResSum += wheel ? b : 0;
            n = EncodeMouseEvent(&pointer, static_cast<unsigned>(a), b, out);
        } else {
            n = EncodePlacement(&pointer, a, b, out);
            Check(n == 3, "a placement is X, Y and a report");
        }
        Check(n >= 0 && n <= MaxPointerEvents, "too many records");
        Check(n == 0 || (out[n - 1].type == EV_SYN && out[n - 1].code == SYN_REPORT),
              "a frame that does not end in a report");
        for (int i = 0; i < n; i++) {
            const input_event &e = out[i];
            if (e.type == EV_ABS && e.code == ABS_X)
                Check(e.value >= 0 && e.value < 1920, "X off the screen");
            if (e.type == EV_ABS && e.code == ABS_Y)
                Check(e.value >= 0 && e.value < 1080, "Y off the screen");
            if (e.type == EV_KEY)
                Check(e.value == 0 || e.value == 1, "a button neither up nor down");
            if (e.type == EV_REL && e.code == REL_WHEEL_HI_RES)
                Check(wheel && e.value == b, "hi-res wheel other than the amount");
            if (e.type == EV_REL && e.code == REL_WHEEL)
                legacySum += e.value;
        }
        Check(legacySum * 120 + pointer.wheelRest == hiResSum, "legacy wheel out of step");
        Check(pointer.wheelRest > -120 && pointer.wheelRest < 120, "a whole click held back");
    }
    return 0;
}
