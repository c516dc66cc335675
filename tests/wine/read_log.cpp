// read_log: what tests/wine/run.sh reads from the Windows runs, read by the
// kit every C++ suite shares (tests/remote_log.h, tests/expected_*.h), so
// that each reading is written once. Built for the host, beside Wine.
//
//   read_log expected banner|startup|quiet
//       what every suite expects, the reports as the remote's side shows them
//   read_log side LOG
//       the remote's side of a run: opens (with the handle given), output
//       reports as far as the remote reads them ("write <length>: <bytes>",
//       register writes cut to their size), closes; reads are left out
//   read_log late LOG
//       why the machine, not the program, missed the probe; 1 when it did not
//   read_log way-out LOG WAY EXIT BUTTONS gone|MOMENT US
//       the run's line of the table of ways out, timed from the remote gone
//       (its first failed read) or from MOMENT at US on the remote's clock
//       (none when US is empty)
#include "tests/expected_banner.h"
#include "tests/expected_reports.h"
#include "tests/remote_log.h"
#include "tools/virtual-remote/protocol.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

namespace {

// A missing log reads as an empty one.
std::vector<LogLine> ReadLog(const char *path) {
    std::ifstream in(path);
    return ParseLog(std::string(std::istreambuf_iterator<char>(in), {}));
}

void PrintReport(const std::string &head, const Bytes &bytes) {
    std::printf("%s%s%s\n", head.c_str(), bytes.empty() ? "" : " ", Hex(bytes).c_str());
}

void PrintSide(const std::vector<LogLine> &log) {
    for (const LogLine &l : log)
        if (l.kind == "open")
            PrintReport("open " + std::to_string(l.length), l.bytes);
        else if (l.kind == "write")
            PrintReport("write " + std::to_string(l.length) + ":",
                        Meaningful(Reports({l}, "write")).front());
        else if (l.kind == "close")
            std::puts("close");
}

} // namespace

int main(int argc, char **argv) {
    const std::string command = argc >= 3 ? argv[1] : "", what = argc >= 3 ? argv[2] : "";
    if (command == "expected" && what == "banner")
        std::fputs(expectedBanner, stdout);
    else if (command == "expected" && (what == "startup" || what == "quiet"))
        for (const Bytes &r : what == "startup" ? ExpectedStartUp() : expectedQuiet)
            PrintReport("write " + std::to_string(OutputReportLength(r[0])) + ":", r);
    else if (command == "side")
        PrintSide(ReadLog(argv[2]));
    else if (command == "late") {
        std::string late = LateForTheProbe(ReadLog(argv[2]), false, false);
        if (late.empty())
            return 1;
        std::puts(late.c_str());
    } else if (command == "way-out" &&
               (argc == 8 || (argc == 7 && std::string(argv[6]) == "gone"))) {
        std::vector<LogLine> log = ReadLog(argv[2]);
        Moment since =
            argc < 8 ? RemoteGone(log) : Moment{argv[6], *argv[7] ? std::atoll(argv[7]) : -1};
        std::puts(
            WayOutLine(argv[3], argv[4], argv[5], RemoteEnd(log, since), "console, not checked")
                .c_str());
    } else {
        std::fputs("usage: read_log expected banner|startup|quiet | side LOG | late LOG |\n"
                   "       way-out LOG WAY EXIT BUTTONS gone|MOMENT US\n",
                   stderr);
        return 2;
    }
    return 0;
}
