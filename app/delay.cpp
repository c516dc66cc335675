#include "app/delay.h"

#include "platform/platform.h"

void WaitMilliseconds(int ms) {
    int64_t frequency = ReadCounterFrequency();
    int64_t start = ReadCounter();

    for (;;) {
        double elapsed = static_cast<double>(ReadCounter() - start);
        elapsed = elapsed / static_cast<double>(frequency);
        elapsed = elapsed * 1000.0;
        if (elapsed > static_cast<double>(ms))
            return;
    }
}
