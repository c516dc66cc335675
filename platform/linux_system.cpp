// Counter and sleep on Linux.
#include "platform/platform.h"

#include <errno.h>
#include <time.h>

int64_t ReadCounter() {
    struct timespec now;

    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

int64_t ReadCounterFrequency() {
    return 1000000000;
}

void SleepMilliseconds(int ms) {
    struct timespec left = {ms / 1000, (ms % 1000) * 1000000L};

    while (nanosleep(&left, &left) == -1 && errno == EINTR) {
    }
}
