// Keys from a terminal's bytes: plain bytes, Escape and escape sequences.
#pragma once

// What a key test sees of an arrow or function key.
constexpr int KeyEscape = 27;
constexpr int KeySequence = 0x100;

// Takes one key from the front of bytes[0..count): a plain byte is its own
// code; an ESC not followed by '[' or 'O' is KeyEscape, and the byte after it
// a key of its own; an escape sequence (ESC '[' or ESC 'O' and the rest) is
// KeySequence. Returns
// the bytes the key takes, or 0 when the bytes so far could be the start of a
// sequence whose rest is still to come; with complete set, nothing more will
// come and every byte is taken.
int TakeKey(const unsigned char *bytes, int count, bool complete, int *key);
