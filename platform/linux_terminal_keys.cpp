#include "platform/linux_terminal_keys.h"

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
    // Escape typed just before another key (Escape then Enter in one read)
    // is Escape and then that key: only '[' or 'O' starts a sequence.
    if (count == 1 || (bytes[1] != '[' && bytes[1] != 'O')) {
        if (count == 1 && !complete)
            return 0;
        *key = KeyEscape;
        return 1;
    }

    int length;
    if (bytes[1] == '[')
        length = CsiLength(bytes, count);
    else // SS3: ESC 'O' and one byte
        length = count >= 3 ? 3 : 0;
    if (length == 0) {
        if (!complete)
            return 0;
        length = count;
    }
    *key = KeySequence;
    return length;
}
