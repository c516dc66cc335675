// What every benchmark hands to tools/bench.sh: one line per figure,
//   row <TAB> figure <TAB> value <TAB> target <TAB> met
// which the script gathers into one table.
#pragma once

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <string>
#include <vector>

inline void Row(const std::string &figure, const std::string &value, const std::string &target,
                const std::string &met) {
    std::printf("row\t%s\t%s\t%s\t%s\n", figure.c_str(), value.c_str(),
                target.empty() ? "-" : target.c_str(), met.empty() ? "-" : met.c_str());
    std::fflush(stdout);
}

inline const char *Met(bool met) {
    return met ? "yes" : "no";
}

#if defined(__GNUC__)
__attribute__((format(printf, 1, 2)))
#endif
inline std::string
Format(const char *format, ...) {
    char text[128];
    va_list args;

    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    return text;
}

// The nearest-rank percentile of sorted values: the smallest value that at
// least p percent of them do not exceed.
inline double Percentile(const std::vector<double> &sorted, double p) {
    size_t rank = static_cast<size_t>(std::ceil(p / 100.0 * double(sorted.size())));
    return sorted[rank == 0 ? 0 : rank - 1];
}
