// The ways the system asks the program to end or to stop, taken in a
// thread of their own.
//
// SIGINT, SIGTERM, SIGHUP and SIGQUIT end the program as its own quit does
// (EndProgram); then the same signal ends the process, so the shell sees
// what it would have seen. Ctrl-Z (SIGTSTP) lets go of the buttons and the
// terminal while the program is stopped and takes them again when it
// continues. All of it runs in ordinary thread context (platform.h): this
// thread waits for the signals. SIGPIPE is ignored: console output results
// are not examined.
#include "platform/linux_signals.h"

#include "platform/held_buttons.h"
#include "platform/linux_mouse.h"
#include "platform/linux_platform.h"
#include "platform/linux_terminal.h"
#include "platform/platform.h"

#include <csignal>
#include <pthread.h>

static sigset_t handled;
static const int Handled[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGTSTP, SIGCONT};

void TakeDefaultAction(int signal) {
    sigset_t one;

    std::signal(signal, SIG_DFL);
    sigemptyset(&one);
    sigaddset(&one, signal);
    pthread_sigmask(SIG_UNBLOCK, &one, nullptr);
    raise(signal);
    pthread_sigmask(SIG_BLOCK, &one, nullptr);
}

// Stopped, the program holds nothing; continued, it holds again what it
// held, as the control loop still believes.
static void Stop() {
    LockOutput();
    unsigned held = LetGoOfButtons(SendButton);
    RestoreTerminal();
    TakeDefaultAction(SIGTSTP); // returns once the program is continued
    ResumeTerminal();
    PressAgain(held, SendButton);
    UnlockOutput();
}

static void *TakeSignals(void *) {
    for (;;) {
        int signal = 0;
        if (sigwait(&handled, &signal) != 0)
            continue;
        if (signal == SIGTSTP)
            Stop();
        else if (signal == SIGCONT) {
            LockOutput(); // a stop this thread did not see may have reset it
            ResumeTerminal();
            UnlockOutput();
        } else
            EndProgram(signal, nullptr);
    }
    return nullptr;
}

// Called in the main thread before any other thread starts, so that every
// later thread inherits the blocked set. Without the thread the signals keep
// their default actions: a signal still ends the program.
void StartSignalThread() {
    pthread_t thread;

    std::signal(SIGPIPE, SIG_IGN);
    sigemptyset(&handled);
    for (int signal : Handled)
        sigaddset(&handled, signal);
    pthread_sigmask(SIG_BLOCK, &handled, nullptr);
    if (pthread_create(&thread, nullptr, TakeSignals, nullptr) == 0)
        pthread_detach(thread);
    else
        pthread_sigmask(SIG_UNBLOCK, &handled, nullptr);
}
