#include "tests/remote_log.h"

#include <cstdio>
#include <cstdlib>
#include <sstream>

std::vector<LogLine> ParseLog(const std::string &text) {
    std::vector<LogLine> log;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream words(line);
        LogLine l;
        words >> l.kind >> l.us >> l.length;
        std::string byte;
        while (words >> byte)
            l.bytes.push_back(static_cast<uint8_t>(std::strtoul(byte.c_str(), nullptr, 16)));
        log.push_back(l);
    }
    return log;
}

std::vector<LogLine> OfKind(const std::vector<LogLine> &log, const std::string &kind) {
    std::vector<LogLine> some;
    for (const LogLine &l : log)
        if (l.kind == kind)
            some.push_back(l);
    return some;
}

std::vector<Bytes> Reports(const std::vector<LogLine> &log, const std::string &kind) {
    std::vector<Bytes> reports;
    for (const LogLine &l : OfKind(log, kind)) {
        size_t length = l.length >= 0 && static_cast<size_t>(l.length) < l.bytes.size()
                            ? static_cast<size_t>(l.length)
                            : l.bytes.size();
        reports.emplace_back(l.bytes.begin(), l.bytes.begin() + static_cast<long>(length));
    }
    return reports;
}

std::string Hex(const Bytes &bytes) {
    std::string text;
    char b[4];
    for (uint8_t byte : bytes) {
        std::snprintf(b, sizeof b, text.empty() ? "%02x" : " %02x", byte);
        text += b;
    }
    return text;
}
