// How far past its deadline WaitMilliseconds returns, beside a plain
// nanosleep of the same length: p50, p99 and max overshoot in microseconds.
#include "app/delay.h"
#include "platform/platform.h"

#include <algorithm>
#include <cstdio>
#include <time.h>
#include <vector>

namespace {

int64_t Now() {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec;
}

void Nanosleep(int ms) {
    struct timespec t = {ms / 1000, (ms % 1000) * 1000000L};
    nanosleep(&t, nullptr);
}

void Report(const char *how, int ms, std::vector<double> overshoot) {
    std::sort(overshoot.begin(), overshoot.end());
    size_t n = overshoot.size();
    std::printf("| %-16s | %3d ms | %5zu | %8.1f | %8.1f | %8.1f |\n", how, ms, n, overshoot[n / 2],
                overshoot[std::min(n - 1, n * 99 / 100)], overshoot.back());
}

template <typename Wait>
std::vector<double> Measure(Wait wait, int ms, int samples) {
    std::vector<double> overshoot;
    for (int i = 0; i < samples; i++) {
        int64_t start = Now();
        wait(ms);
        overshoot.push_back(static_cast<double>(Now() - start - ms * 1000000LL) / 1000.0);
    }
    return overshoot;
}

} // namespace

int main() {
    std::printf("| wait             | length | runs  | p50 (us) | p99 (us) | max (us) |\n");
    std::printf("|------------------|--------|-------|----------|----------|----------|\n");
    const struct { int ms, samples; } lengths[] = {{1, 500}, {10, 200}, {80, 40}};
    for (auto l : lengths) {
        Report("WaitMilliseconds", l.ms, Measure(WaitMilliseconds, l.ms, l.samples));
        Report("nanosleep", l.ms, Measure(Nanosleep, l.ms, l.samples));
    }
    return 0;
}
