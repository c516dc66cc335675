// Counter, sleep and threads on Linux.
#include "platform/platform.h"

#include <errno.h>
#include <pthread.h>
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

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/asan_interface.h>

// A killed thread unwinds without the sanitizer's knowledge, leaving its
// frames marked on the stack; clear them before the thread's own teardown
// runs over that stack.
struct ForgetKilledFrames {
    ~ForgetKilledFrames() { __asan_handle_no_return(); }
};
#else
struct ForgetKilledFrames {};
#endif

static void *RunThreadBody(void *body) {
    [[maybe_unused]] ForgetKilledFrames forget;
    reinterpret_cast<ThreadBody>(body)(nullptr);
    return nullptr;
}

// The thread stays joinable until it is killed or released, so its id cannot
// be reused in between.
ThreadHandle StartThread(ThreadBody body) {
    pthread_t thread;

    if (pthread_create(&thread, nullptr, RunThreadBody, reinterpret_cast<void *>(body)) != 0)
        return 0;
    return static_cast<ThreadHandle>(thread);
}

// Cancellation takes the thread at its next blocking call (a read or a
// sleep); the join makes sure it is gone before the caller closes what the
// thread was reading from.
void KillThread(ThreadHandle thread) {
    if (thread == 0)
        return;
    pthread_cancel(static_cast<pthread_t>(thread));
    pthread_join(static_cast<pthread_t>(thread), nullptr);
}

void ReleaseThread(ThreadHandle thread) {
    if (thread != 0)
        pthread_detach(static_cast<pthread_t>(thread));
}
