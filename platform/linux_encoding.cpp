#include "platform/linux_encoding.h"

#include "platform/platform.h"

#include <cstdio>

// A CSI sequence: ESC '[' then parameter bytes (0x30..0x3F), intermediate
// bytes (0x20..0x2F) and one final byte (0x40..0x7E). The Linux console's F1
// to F5 are ESC '[' '[' and a letter. Returns its length, 0 when it is not
// finished within count bytes.
static int CsiLength(const unsigned char *bytes, int count) {
    int i = 2;

    if (i < count && bytes[i] == '[')
        i++;
    while (i < count && bytes[i] >= 0x20 && bytes[i] <= 0x3F)
        i++;
    if (i == count)
        return 0;
    if (bytes[i] >= 0x40 && bytes[i] <= 0x7E)
        return i + 1;
    return i; // broken off: the odd byte starts the next key
}

int TakeKey(const unsigned char *bytes, int count, bool complete, int *key) {
    if (count <= 0)
        return 0;
    if (bytes[0] != KeyEscape) {
        *key = bytes[0];
        return 1;
    }
    if (count == 1 || bytes[1] == KeyEscape) {
        if (count == 1 && !complete)
            return 0;
        *key = KeyEscape;
        return 1;
    }

    int length = 2; // Alt and a key
    if (bytes[1] == '[')
        length = CsiLength(bytes, count);
    else if (bytes[1] == 'O') // SS3: ESC 'O' and one byte
        length = count >= 3 ? 3 : 0;
    if (length == 0) {
        if (!complete)
            return 0;
        length = count;
    }
    *key = KeySequence;
    return length;
}

static int Sign(int64_t v) {
    return (v > 0) - (v < 0);
}

int CarryWheel(WheelCarry *wheel, int amount) {
    int sign = Sign(amount);

    if (sign != wheel->lastSign)
        wheel->carry = 0;
    wheel->lastSign = sign;
    wheel->carry += amount;

    int64_t c = wheel->carry;
    int64_t clicks = c >= 0 ? (c + 60) / 120 : -((-c + 60) / 120);
    wheel->carry -= 120 * clicks;
    return static_cast<int>(clicks);
}

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

bool ParseModeSize(const char *text, int *width, int *height) {
    int w, h;

    if (std::sscanf(text, "%9dx%9d", &w, &h) != 2 || w <= 0 || h <= 0)
        return false;
    *width = w;
    *height = h;
    return true;
}

bool BoundingArea(const OutputArea *outputs, int count, OutputArea *box) {
    int64_t left = 0, top = 0, right = 0, bottom = 0;
    bool any = false;

    for (int i = 0; i < count; i++) {
        const OutputArea &o = outputs[i];
        if (o.width <= 0 || o.height <= 0)
            continue;
        int64_t r = int64_t{o.x} + o.width, b = int64_t{o.y} + o.height;
        left = any && left < o.x ? left : o.x;
        top = any && top < o.y ? top : o.y;
        right = any && right > r ? right : r;
        bottom = any && bottom > b ? bottom : b;
        any = true;
    }
    if (!any || right - left > INT32_MAX || bottom - top > INT32_MAX)
        return false;
    *box = {static_cast<int>(left), static_cast<int>(top), static_cast<int>(right - left),
            static_cast<int>(bottom - top)};
    return true;
}
