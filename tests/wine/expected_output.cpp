// expected_output banner|startup|quiet: prints what the suites expect, from
// the same tables the other suites use (tests/expected_banner.h and
// tests/expected_reports.h), in the form of the Wine suite's remote side:
// a line a report, "write <length>: <bytes in hex>", each report as far as
// the remote reads it.
#include "tests/expected_banner.h"
#include "tests/expected_reports.h"
#include "tools/virtual-remote/protocol.h"

#include <cstdio>
#include <cstring>

namespace {

void PrintReports(const std::vector<Bytes> &reports) {
    for (const Bytes &report : reports) {
        std::printf("write %d:", OutputReportLength(report[0]));
        for (uint8_t byte : report)
            std::printf(" %02x", byte);
        std::printf("\n");
    }
}

} // namespace

int main(int argc, char **argv) {
    const char *what = argc == 2 ? argv[1] : "";
    if (std::strcmp(what, "banner") == 0)
        std::fputs(expectedBanner, stdout);
    else if (std::strcmp(what, "startup") == 0)
        PrintReports(ExpectedStartUp());
    else if (std::strcmp(what, "quiet") == 0)
        PrintReports(expectedQuiet);
    else {
        std::fprintf(stderr, "usage: expected_output banner|startup|quiet\n");
        return 2;
    }
    return 0;
}
