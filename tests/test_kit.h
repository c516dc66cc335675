// What every C++ suite shares beside the remotes' logs (remote_log.h):
// waiting until something holds, and stopping a process it started.
#pragma once

#include <functional>
#include <sys/types.h>

// Polls condition every stepMs until it holds or ms have passed; whether it
// held. A guard against a hang, not a measure of time.
bool WaitUntil(const std::function<bool()> &condition, int ms = 5000, int stepMs = 10);

// Ends a child that may still run, by its PID: asked with SIGTERM, killed
// after two seconds, and reaped.
void StopProcess(pid_t pid);
