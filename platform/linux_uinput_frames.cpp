#include "platform/linux_uinput_frames.h"

#include "platform/platform.h"

static int Put(input_event *out, int n, int type, int code, int value) {
    out[n] = input_event{};
    out[n].type = static_cast<uint16_t>(type);
    out[n].code = static_cast<uint16_t>(code);
    out[n].value = value;
    return n + 1;
}

static int PutButton(input_event *out, int n, int code, int value) {
    n = Put(out, n, EV_KEY, code, value);
    return Put(out, n, EV_SYN, SYN_REPORT, 0);
}

// The hi-res axis gets the amount itself; the legacy axis a whole click each
// time the hi-res amounts since the last click add up to 120 either way, as
// the kernel does for hi-res mice.
static int PutWheel(UinputPointer *pointer, input_event *out, int n, int amount) {
    pointer->wheelRest += amount;
    int64_t clicks = pointer->wheelRest / 120;
    pointer->wheelRest -= clicks * 120;

    n = Put(out, n, EV_REL, REL_WHEEL_HI_RES, amount);
    if (clicks != 0)
        n = Put(out, n, EV_REL, REL_WHEEL, static_cast<int>(clicks));
    return Put(out, n, EV_SYN, SYN_REPORT, 0);
}

int EncodeMouseEvent(UinputPointer *pointer, unsigned flags, int data, input_event *out) {
    int n = 0;

    if (flags & MouseLeftDown)
        n = PutButton(out, n, BTN_LEFT, 1);
    if (flags & MouseLeftUp)
        n = PutButton(out, n, BTN_LEFT, 0);
    if (flags & MouseRightDown)
        n = PutButton(out, n, BTN_RIGHT, 1);
    if (flags & MouseRightUp)
        n = PutButton(out, n, BTN_RIGHT, 0);
    if ((flags & MouseWheel) && data != 0)
        n = PutWheel(pointer, out, n, data);
    return n;
}

static int Clamp(int v, int lo, int hi) {
    return v < lo ? lo : (v > hi ? hi : v);
}

int EncodePlacement(UinputPointer *pointer, int x, int y, input_event *out) {
    int n = 0;

    pointer->x = Clamp(x, 0, pointer->width - 1);
    pointer->y = Clamp(y, 0, pointer->height - 1);
    n = Put(out, n, EV_ABS, ABS_X, pointer->x);
    n = Put(out, n, EV_ABS, ABS_Y, pointer->y);
    return Put(out, n, EV_SYN, SYN_REPORT, 0);
}

static int ToInt(int64_t v) {
    return v < INT32_MIN ? INT32_MIN : (v > INT32_MAX ? INT32_MAX : static_cast<int>(v));
}

int EncodeNewBox(UinputPointer *pointer, OutputArea from, bool guessed, OutputArea to,
                 input_event *out) {
    int64_t x, y;

    if (guessed) {
        x = int64_t{pointer->x} * to.width / from.width;
        y = int64_t{pointer->y} * to.height / from.height;
    } else {
        x = int64_t{pointer->x} + from.x - to.x;
        y = int64_t{pointer->y} + from.y - to.y;
    }
    pointer->width = to.width;
    pointer->height = to.height;
    return EncodePlacement(pointer, ToInt(x), ToInt(y), out);
}
