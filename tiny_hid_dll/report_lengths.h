// How many bytes of the output buffer the remote takes for each output
// report id, id included. Over Bluetooth every byte written reaches the
// remote, so exactly this many are sent.
//   0x11 LEDs, 0x13 camera, 0x1A camera 2:  [0] id  [1] value
//   0x12 reporting mode:                    [0] id  [1] flags  [2] mode
//   0x16 register write:                    [0] id  [1] space  [2..4] address
//                                           [5] size  [6..21] data
#pragma once

inline int OutputReportLength(int id) {
    switch (id) {
    case 0x11:
    case 0x13:
    case 0x1A:
        return 2;
    case 0x12:
        return 3;
    default:
        return 22;
    }
}
