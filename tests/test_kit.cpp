#include "tests/test_kit.h"

#include <chrono>
#include <csignal>
#include <sys/wait.h>
#include <thread>

bool WaitUntil(const std::function<bool()> &condition, int ms, int stepMs) {
    for (int waited = 0; waited < ms; waited += stepMs) {
        if (condition())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(stepMs));
    }
    return condition();
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
