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

#include <algorithm>
#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 1)
        return 0;
    // Room for every byte of one input; the pending bytes are copied to its
    // very end, so the parser has no slack past them.
    std::vector<unsigned char> room(size), pending;
    size_t taken = 0;

    // Takes every key the pending bytes hold.
    auto takeAll = [&](bool complete) {
        size_t left = pending.size();
        unsigned char *bytes = room.data() + size - left;
        std::copy(pending.begin(), pending.end(), bytes);
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
        pending.erase(pending.begin(), pending.end() - static_cast<long>(left));
    };

    uint8_t bits = data[0];
    for (size_t at = 1; at < size;) {
        size_t piece = std::min<size_t>(1 + (bits & 7), size - at);
        pending.insert(pending.end(), data + at, data + at + piece);
        at += piece;
        // A pause after this piece lets a begun sequence be taken as it is.
        takeAll((bits & 0x80) != 0);
        bits = static_cast<uint8_t>((bits << 1) | (bits >> 7));
    }
    takeAll(true);
    Check(pending.empty() && taken == size - 1, "bytes lost");
    return 0;
}
