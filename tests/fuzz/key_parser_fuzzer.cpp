// The terminal key parser against any bytes, arriving in any pieces.
//
// Input: [0] how the bytes arrive (a piece is 1 + (bits & 7) bytes, and
// whether the rest of a begun sequence is waited for), then the bytes. Checks:
//  - every byte is taken, once, and a call never claims more than it was given;
//  - a key that ends the program (Escape) is one ESC byte with nothing after
//    it in time, or any byte but '[' and 'O' right behind it; never part of a
//    sequence;
//  - given the whole input as complete, the parser always makes progress.
// Reading past its input is caught by the address sanitizer: the bytes the
// parser is given end where their heap block ends.
#include "platform/linux_terminal_keys.h"
#include "tests/fuzz/fuzz_check.h"

#include <cstdint>
#include <cstring>
#include <vector>

// Room for every byte of one input; the pending bytes are copied to its
// very end, so the parser has no slack past them.
static unsigned char *room;
static size_t roomSize;

// Takes every key the pending bytes hold; returns the bytes taken.
static size_t TakeAll(std::vector<unsigned char> &pending, bool complete) {
    size_t left = pending.size(), taken = 0;
    if (left == 0)
        return 0;
    unsigned char *bytes = room + roomSize - left;
    std::memcpy(bytes, pending.data(), left);

    while (left > 0) {
        int key = -1;
        int n = TakeKey(bytes, static_cast<int>(left), complete, &key);
        Check(n >= 0 && static_cast<size_t>(n) <= left, "took more than given");
        if (n == 0) {
            Check(!complete, "no progress on complete input");
            break;
        }
        if (key == KeyEscape) {
            Check(n == 1 && bytes[0] == 27, "Escape from more than one ESC byte");
            Check(left == 1 ? complete : bytes[1] != '[' && bytes[1] != 'O',
                  "Escape taken from the start of a sequence");
        } else if (key == KeySequence) {
            Check(bytes[0] == 27 && n >= 2 && (bytes[1] == '[' || bytes[1] == 'O'),
                  "a sequence that does not start with ESC [ or ESC O");
        } else {
            Check(n == 1 && key == bytes[0] && key != 27, "a plain key other than its byte");
        }
        bytes += n;
        left -= static_cast<size_t>(n);
        taken += static_cast<size_t>(n);
    }
    pending.erase(pending.begin(), pending.begin() + static_cast<long>(taken));
    return taken;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 1)
        return 0;
    uint8_t bits = data[0];
    std::vector<unsigned char> pending;
    roomSize = size;
    room = new unsigned char[size];
    size_t taken = 0;

    for (size_t at = 1; at < size;) {
        size_t piece = 1 + (bits & 7);
        if (piece > size - at)
            piece = size - at;
        pending.insert(pending.end(), data + at, data + at + piece);
        at += piece;
        // A pause after this piece lets a begun sequence be taken as it is.
        bool pause = (bits & 0x80) != 0;
        bits = static_cast<uint8_t>((bits << 1) | (bits >> 7));
        taken += TakeAll(pending, pause);
    }
    taken += TakeAll(pending, true);
    Check(pending.empty() && taken == size - 1, "bytes lost");
    delete[] room;
    return 0;
}
