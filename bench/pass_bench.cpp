// The cost of the control loop's work, a pass at a time, and of decoding.
//
// The remote and the system are stand-ins that cost next to nothing: the
// remote hands over the same report at once, and the tests' recording
// platform keeps nothing. Its counter advances a millisecond a read, so the
// buzz's 80 ms wait costs some 80 counter reads, not 80 ms.
#include "app/control_loop.h"
#include "bench/summary.h"
#include "platform/platform.h"
#include "remote/reports.h"
#include "remote/tiny_hid_dll.h"
#include "tests/recording_platform.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <unistd.h>
#include <vector>

namespace {

const int passesPerRun = 10000;

unsigned char report[18];
unsigned char home[18];
int readsLeft;
long allocations;
bool inLoop;
int64_t counter;

} // namespace

// Every allocation through new inside the loop is counted; a pass must
// make none.
void *operator new(size_t n) {
    if (inLoop)
        allocations++;
    if (void *p = std::malloc(n ? n : 1))
        return p;
    std::abort();
}

// These pair with the malloc above, which the compiler cannot see.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void operator delete(void *p) noexcept {
    std::free(p);
}

void operator delete(void *p, size_t) noexcept {
    std::free(p);
}
#pragma GCC diagnostic pop

extern "C" {
int OpenHidHandle(int, int) {
    return 7;
}
int WriteReport(int, unsigned char *, unsigned int *) {
    return 2;
}
int ReadReport(int, unsigned char *buffer, unsigned int *) {
    std::memcpy(buffer, readsLeft-- > 0 ? report : home, 18);
    return 18;
}
void CloseHidHandle(int) {}
}

namespace {

// 0x33: [1] buttons1 [2] buttons2 [3..5] accelerometer [6..17] four dots.
void UseReport(uint8_t buttons1, uint8_t buttons2, bool dots) {
    const uint8_t seen[] = {0xF4, 0x90, 0x50, 0x1C, 0xA4, 0x60};
    std::memset(report, 0xFF, sizeof report);
    report[0] = 0x33;
    report[1] = buttons1;
    report[2] = buttons2;
    report[3] = report[4] = report[5] = 0x80;
    if (dots)
        std::memcpy(report + 6, seen, sizeof seen);
    std::memcpy(home, report, sizeof home);
    home[1] = 0x00;
    home[2] = 0x80;
}

void Passes(benchmark::State &state, uint8_t buttons1, uint8_t buttons2, bool dots) {
    UseReport(buttons1, buttons2, dots);
    remoteLink.handle = 7;
    long allocationsBefore = allocations;
    for (auto _ : state) {
        readsLeft = passesPerRun;
        inLoop = true;
        RunControlLoop();
        inLoop = false;
    }
    state.SetItemsProcessed(state.iterations() * passesPerRun);
    state.counters["ns_per_pass"] =
        benchmark::Counter(static_cast<double>(state.iterations() * passesPerRun),
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.counters["allocs_per_pass"] = static_cast<double>(allocations - allocationsBefore) /
                                        static_cast<double>(state.iterations() * passesPerRun);
}

void PassIdle(benchmark::State &state) {
    Passes(state, 0x00, 0x00, false);
}
void PassIrTracking(benchmark::State &state) {
    Passes(state, 0x00, 0x00, true);
}
void PassDpadHeld(benchmark::State &state) {
    Passes(state, 0x02, 0x00, false);
}
// Every button but Home, which with the others held does not quit.
void PassEveryButton(benchmark::State &state) {
    Passes(state, 0x1F, 0x9F, true);
}

void DecodeReports(benchmark::State &state) {
    UseReport(0x00, 0x00, true);
    readsLeft = 0x7FFFFFFF;
    for (auto _ : state) {
        ReadRemote();
        benchmark::DoNotOptimize(remoteState);
    }
    state.SetItemsProcessed(state.iterations());
}

} // namespace

BENCHMARK(PassIdle);
BENCHMARK(PassIrTracking);
BENCHMARK(PassDpadHeld);
BENCHMARK(PassEveryButton);
BENCHMARK(DecodeReports);

namespace {

// The console's table as usual (in colour on a terminal only), and the runs
// kept for the summary rows.
struct KeepRuns : benchmark::ConsoleReporter {
    std::vector<Run> runs;
    KeepRuns() : ConsoleReporter(isatty(STDOUT_FILENO) ? OO_ColorTabular : OO_Tabular) {}
    void ReportRuns(const std::vector<Run> &some) override {
        ConsoleReporter::ReportRuns(some);
        runs.insert(runs.end(), some.begin(), some.end());
    }
};

double CounterOf(const benchmark::BenchmarkReporter::Run &run, const char *name) {
    auto c = run.counters.find(name);
    return c == run.counters.end() ? -1 : c->second.value;
}

std::string Described(const std::string &benchmark) {
    if (benchmark == "PassIdle")
        return "remote idle";
    if (benchmark == "PassIrTracking")
        return "IR tracking";
    if (benchmark == "PassDpadHeld")
        return "D-pad held";
    return "every button held";
}

// A pass's cost against 200 ns, its allocations against none, and the
// decoder's rate. The counters are finished: ns_per_pass is in seconds.
void SummaryRows(const std::vector<benchmark::BenchmarkReporter::Run> &runs) {
    double allocations = -1;
    for (const auto &run : runs) {
        std::string name = run.benchmark_name();
        if (name == "DecodeReports") {
            double rate = CounterOf(run, "items_per_second");
            Row("2. decoding", Format("%.0f M reports/s", rate / 1e6), "", "");
            continue;
        }
        double ns = CounterOf(run, "ns_per_pass") * 1e9;
        allocations = std::max(allocations, CounterOf(run, "allocs_per_pass"));
        Row("1. pass, " + Described(name), Format("%.1f ns", ns), "< 200 ns", Met(ns < 200));
    }
    if (allocations >= 0)
        Row("1. heap allocations per pass", Format("%g", allocations), "0", Met(allocations == 0));
}

} // namespace

int main(int argc, char **argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    recording.keep = false;
    recording.counter = [] { return counter++; };
    recording.counterFrequency = 1000;
    KeepRuns reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    SummaryRows(reporter.runs);
    return 0;
}
