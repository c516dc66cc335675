#include "tools/virtual-remote/script.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
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
        if (in >> word) {
            step->count = 1;
            return word == "ahead" && AtEnd(in);
        }
        return true;
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
    } else if (verb == "hold" || verb == "release") {
        step->kind = verb == "hold" ? ScriptStep::Hold : ScriptStep::Release;
        return AtEnd(in);
    } else if (verb == "gone" || verb == "absent") {
        step->kind = verb == "gone" ? ScriptStep::Gone : ScriptStep::Absent;
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

// An await gives up after this long: the host never sent what was expected.
static const int64_t awaitLimitUs = 20'000'000;

// An await takes the first output report since the last one taken that
// starts with its bytes, so a report sent before the await is reached
// still counts, and counts once.
static StepResult Await(ScriptPlayer &player, const ScriptTarget &target, const ScriptStep &step,
                        int64_t now) {
    bool done = false;
    if (step.kind == ScriptStep::AwaitOpen) {
        done = target.opened > 0;
    } else {
        for (size_t i = player.unmatched; i < player.outputs.size() && !done; i++) {
            const std::vector<uint8_t> &out = player.outputs[i];
            if (OutputMatches(step, out.data(), static_cast<int>(out.size()))) {
                player.unmatched = i + 1;
                done = true;
            }
        }
    }
    if (done) {
        player.awaitSinceUs = -1;
        return StepDone;
    }
    if (player.awaitSinceUs < 0)
        player.awaitSinceUs = now;
    if (now - player.awaitSinceUs < awaitLimitUs)
        return StepWaiting;

    std::fprintf(stderr, "virtual-remote: gave up after %lld s waiting for:",
                 static_cast<long long>(awaitLimitUs / 1'000'000));
    if (step.kind == ScriptStep::AwaitOpen)
        std::fprintf(stderr, " open");
    for (int i = 0; i < step.count; i++)
        std::fprintf(stderr, " %02x", step.bytes[i]);
    std::fputc('\n', stderr);
    return StepFailed;
}

bool HoldReport(ScriptPlayer &player, const InputReport &report) {
    if (player.holding && report.length > 0)
        player.held.push_back(report);
    return player.holding;
}

// A report of the scenario's own, kept while the player holds.
static void Emit(ScriptPlayer &player, const ScriptTarget &target, const InputReport &report) {
    if (!HoldReport(player, report))
        target.send(report);
}

// A step of the shake: the accelerometer's X toggles its lowest bit, so
// every report differs from the one before.
static StepResult Jitter(ScriptPlayer &player, const ScriptTarget &target, const ScriptStep &step,
                         int64_t now) {
    if (player.jitterLeft == 0)
        player.jitterLeft = step.count;
    target.remote->accel[0] ^= 1;
    Emit(player, target, NextDataReport(*target.remote, false));
    player.resumeUs = now + step.ms * 1000;
    return --player.jitterLeft == 0 ? StepDone : StepWaiting;
}

// The kept reports go out in the order they were made.
static StepResult Release(ScriptPlayer &player, const ScriptTarget &target) {
    player.holding = false;
    for (const InputReport &report : player.held)
        target.send(report);
    player.held.clear();
    return StepDone;
}

static StepResult RunStep(ScriptPlayer &player, const ScriptTarget &target, const ScriptStep &step,
                          int64_t now) {
    VirtualRemote &remote = *target.remote;
    switch (step.kind) {
    case ScriptStep::Buttons:
        remote.buttons[0] = step.bytes[0];
        remote.buttons[1] = step.bytes[1];
        break;
    case ScriptStep::Accel:
        std::memcpy(remote.accel, step.bytes, 3);
        break;
    case ScriptStep::Dots:
        std::memcpy(remote.dots, step.dots, sizeof remote.dots);
        break;
    case ScriptStep::Jitter:
        return Jitter(player, target, step, now);
    case ScriptStep::Status:
        if (step.count == 1)
            target.send(StatusReport(remote));
        else
            Emit(player, target, StatusReport(remote));
        return StepDone;
    case ScriptStep::Wait:
        player.resumeUs = now + step.ms * 1000;
        return StepDone;
    case ScriptStep::Await:
    case ScriptStep::AwaitOpen:
        return Await(player, target, step, now);
    case ScriptStep::Hold:
        player.holding = true;
        return StepDone;
    case ScriptStep::Release:
        return Release(player, target);
    case ScriptStep::Gone:
    case ScriptStep::Absent:
        return StepGone;
    case ScriptStep::Nothing:
        return StepDone;
    }
    // A change the current mode carries goes out in a report of its own.
    Emit(player, target, NextDataReport(remote, false));
    return StepDone;
}

void TakeHostReport(ScriptPlayer &player, const ScriptTarget &target, const uint8_t *report,
                    int length) {
    player.outputs.emplace_back(report, report + length);
    Answers answers{};
    TakeOutputReport(*target.remote, report, length, answers);
    for (int i = 0; i < answers.count; i++)
        Emit(player, target, answers.reports[i]);
    Emit(player, target, NextDataReport(*target.remote, false));
}

StepResult RunDueSteps(ScriptPlayer &player, const ScriptTarget &target, int64_t now) {
    while (player.next < player.steps.size()) {
        if (player.resumeUs > now)
            return StepWaiting;
        StepResult result = RunStep(player, target, player.steps[player.next], now);
        if (result == StepDone)
            player.next++;
        else
            return result;
    }
    return StepWaiting;
}

int64_t NextStepDueUs(const ScriptPlayer &player, int64_t now) {
    if (player.next >= player.steps.size())
        return -1;
    int64_t due = player.resumeUs > now ? player.resumeUs : -1;
    int64_t limit = player.awaitSinceUs + awaitLimitUs;
    if (player.awaitSinceUs >= 0 && (due < 0 || limit < due))
        due = limit;
    return due;
}
