// Threads on Linux: started, marked where they may be ended, ended or let
// go of.
#include "platform/platform.h"

#include <pthread.h>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/asan_interface.h>

// Where the thread's stack ends, taken when it starts, while the stack is
// still whole.
static void *StackLowEnd() {
    pthread_attr_t attributes;
    void *low = nullptr;
    size_t size = 0;

    if (pthread_getattr_np(pthread_self(), &attributes) == 0) {
        pthread_attr_getstack(&attributes, &low, &size);
        pthread_attr_destroy(&attributes);
    }
    return low;
}

// A killed thread unwinds without the sanitizer's knowledge: the frames it
// left stay marked on the stack below this one, and anything the thread's
// teardown then places there would be taken for a stack overflow. They are
// cleared by a plain shadow write, which calls nothing that checks memory
// (the sanitizer's own no-return hook would, on those very marks); this
// function itself is not instrumented for the same reason.
__attribute__((no_sanitize_address)) static void ForgetKilledFrames(void *stackLow) {
    char *low = static_cast<char *>(stackLow);
    char *here = static_cast<char *>(__builtin_frame_address(0));

    if (low != nullptr && low < here)
        __asan_unpoison_memory_region(low, static_cast<size_t>(here - low));
}
#else
static void *StackLowEnd() {
    return nullptr;
}

static void ForgetKilledFrames(void *) {}
#endif

// The thread starts unkillable: KillThread takes it only inside what it
// marks with MarkThreadKillable, a read that may never return. Nothing it
// holds (a lock, a half-sent report) is left behind that way, and the
// unwinding starts from a known place.
static void *RunThreadBody(void *body) {
    pthread_setcancelstate(PTHREAD_CANCEL_DISABLE, nullptr);
    pthread_cleanup_push(ForgetKilledFrames, StackLowEnd());
    reinterpret_cast<ThreadBody>(body)(nullptr);
    pthread_cleanup_pop(0);
    return nullptr;
}

void MarkThreadKillable(bool killable) {
    pthread_setcancelstate(killable ? PTHREAD_CANCEL_ENABLE : PTHREAD_CANCEL_DISABLE, nullptr);
}

// The thread stays joinable until it is killed or released, so its id cannot
// be reused in between.
ThreadHandle StartThread(ThreadBody body) {
    pthread_t thread;

    if (pthread_create(&thread, nullptr, RunThreadBody, reinterpret_cast<void *>(body)) != 0)
        return 0;
    return static_cast<ThreadHandle>(thread);
}

// Cancellation takes the thread at its next blocking call inside what it
// has marked killable, or, when it is outside, waits until it ends by
// itself; the join makes sure it is gone before the caller closes what the
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
