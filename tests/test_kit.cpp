#include "tests/test_kit.h"

#include <chrono>
#include <csignal>
#include <sys/wait.h>
#include <thread>

bool WaitUntil(const std::function<bool()> &condition, int ms, int stepMs) {
    // By the clock: a condition that itself takes time counts against ms.
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(stepMs));
    }
    return true;
}

void StopProcess(pid_t pid) {
    if (pid <= 0)
        return;
    kill(pid, SIGTERM);
    if (WaitUntil([pid] { return waitpid(pid, nullptr, WNOHANG) == pid; }, 2000))
        return;
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
}
