#include "tools/virtual-remote/script.h"

#include <cstdlib>
#include <sstream>

static bool ParseHexByte(const std::string &word, uint8_t *byte) {
    char *end;
    unsigned long value = std::strtoul(word.c_str(), &end, 16);
    if (word.empty() || *end != '\0' || value > 0xFF)
        return false;
    *byte = static_cast<uint8_t>(value);
    return true;
}

static bool ParseNumber(const std::string &word, int low, int high, int *number) {
    char *end;
    long value = std::strtol(word.c_str(), &end, 10);
    if (word.empty() || *end != '\0' || value < low || value > high)
        return false;
    *number = static_cast<int>(value);
    return true;
}

// Reads exactly `count` hex bytes, or with count 0 one to 22 of them.
static bool ParseBytes(std::istringstream &in, int count, ScriptStep *step) {
    std::string word;
    int n = 0;
    while (in >> word) {
        if (n == 22 || !ParseHexByte(word, &step->bytes[n]))
            return false;
        n++;
    }
    step->count = n;
    return count ? n == count : n > 0;
}

// "x,y" in camera pixels, or "-" for a dot not seen.
static bool ParseDot(const std::string &word, CameraDot *dot) {
    *dot = CameraDot{false, 0, 0, 0};
    if (word == "-")
        return true;
    size_t comma = word.find(',');
    if (comma == std::string::npos)
        return false;
    dot->seen = true;
    dot->size = 2;
    return ParseNumber(word.substr(0, comma), 0, 1023, &dot->x) &&
           ParseNumber(word.substr(comma + 1), 0, 767, &dot->y);
}

static bool ParseDots(std::istringstream &in, ScriptStep *step) {
    std::string word;
    int n = 0;
    for (CameraDot &dot : step->dots)
        dot = CameraDot{false, 0, 0, 0};
    while (in >> word) {
        if (n == 4 || !ParseDot(word, &step->dots[n]))
            return false;
        n++;
    }
    return true;
}

// Nothing may follow a step's own words.
static bool AtEnd(std::istringstream &in) {
    std::string rest;
    return !(in >> rest);
}

bool ParseScriptLine(const std::string &line, ScriptStep *step) {
    std::istringstream in(line.substr(0, line.find('#')));
    std::string verb, word, other;
    *step = ScriptStep{};
    if (!(in >> verb))
        return true;

    if (verb == "buttons") {
        step->kind = ScriptStep::Buttons;
        return ParseBytes(in, 2, step);
    } else if (verb == "accel") {
        step->kind = ScriptStep::Accel;
        return ParseBytes(in, 3, step);
    } else if (verb == "dots") {
        step->kind = ScriptStep::Dots;
        return ParseDots(in, step);
    } else if (verb == "jitter") {
        step->kind = ScriptStep::Jitter;
        return in >> word >> other && ParseNumber(word, 1, 100000, &step->count) &&
               ParseNumber(other, 0, 600000, &step->ms) && AtEnd(in);
    } else if (verb == "status") {
        step->kind = ScriptStep::Status;
        return AtEnd(in);
    } else if (verb == "wait") {
        step->kind = ScriptStep::Wait;
        return in >> word && ParseNumber(word, 0, 3600000, &step->ms) && AtEnd(in);
    } else if (verb == "await") {
        std::istringstream copy(in.str());
        copy >> verb >> word;
        if (word == "open") {
            step->kind = ScriptStep::AwaitOpen;
            return AtEnd(copy);
        }
        step->kind = ScriptStep::Await;
        return ParseBytes(in, 0, step);
    } else if (verb == "gone") {
        step->kind = ScriptStep::Gone;
        return AtEnd(in);
    }
    return false;
}

bool OutputMatches(const ScriptStep &step, const uint8_t *report, int length) {
    if (length < step.count)
        return false;
    for (int i = 0; i < step.count; i++)
        if (report[i] != step.bytes[i])
            return false;
    return true;
}
