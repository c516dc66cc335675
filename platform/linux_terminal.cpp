// The console on Linux: keys, messages and text.
//
// On a terminal, keys are read one at a time without echo (signals are
// kept, so Ctrl-C still ends the program) and the terminal is put back as it
// was on every way out. Arrow and function keys arrive as escape sequences;
// they are told apart from a lone Escape by the bytes that follow at once.
// From a pipe or a file every byte is a key.
#include "platform/linux_terminal.h"
#include "platform/linux_terminal_keys.h"
#include "platform/platform.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

static bool terminal;
static bool terminalSaved;
static termios savedTerminal;
static termios keyTerminal;
static bool inputClosed;
static unsigned char pending[64];
static int pendingCount;
static int readyKey = -1;

// An escape sequence comes from the terminal in one piece; a byte that has
// not followed ESC by then belongs to another key.
static const int SequenceGapMs = 30;

void RestoreTerminal() {
    if (terminalSaved)
        tcsetattr(STDIN_FILENO, TCSANOW, &savedTerminal);
}

void ResumeTerminal() {
    if (terminalSaved)
        tcsetattr(STDIN_FILENO, TCSANOW, &keyTerminal);
}

// Non-canonical, no echo; ISIG stays on.
void StartTerminal() {
    termios keys;

    terminal = isatty(STDIN_FILENO);
    if (!terminal || tcgetattr(STDIN_FILENO, &savedTerminal) != 0)
        return;
    terminalSaved = true;
    keys = savedTerminal;
    keys.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
    keys.c_cc[VMIN] = 1;
    keys.c_cc[VTIME] = 0;
    keyTerminal = keys;
    tcsetattr(STDIN_FILENO, TCSANOW, &keys);
}

void StopTerminal() {
    RestoreTerminal();
    terminalSaved = false;
}

// Reads what stdin has, waiting up to timeoutMs (-1: until something comes).
// End of file, a hang-up or a closed stdin means no more keys, ever. False
// when nothing was added.
static bool FillPending(int timeoutMs) {
    if (inputClosed || pendingCount == sizeof pending)
        return false;

    pollfd ready = {STDIN_FILENO, POLLIN, 0};
    int n;
    do
        n = poll(&ready, 1, timeoutMs);
    while (n == -1 && errno == EINTR);
    if (n <= 0)
        return false;
    if (ready.revents & POLLNVAL) {
        inputClosed = true;
        return false;
    }

    size_t room = terminal ? sizeof pending - pendingCount : 1;
    ssize_t got = read(STDIN_FILENO, pending + pendingCount, room);
    if (got <= 0) {
        if (got == 0 || (errno != EINTR && errno != EAGAIN))
            inputClosed = true;
        return false;
    }
    pendingCount += static_cast<int>(got);
    return true;
}

// One key from the front of the pending bytes; 0 bytes taken when there is
// none yet.
static int TakeOne(bool complete, int *key) {
    if (terminal)
        return TakeKey(pending, pendingCount, complete || inputClosed, key);
    if (pendingCount == 0)
        return 0;
    *key = pending[0];
    return 1;
}

// The next key, waiting briefly for the rest of an escape sequence that has
// begun; the wait ends when the bytes stop coming or the buffer is full.
static bool TakePendingKey() {
    int key = 0;
    int used = TakeOne(false, &key);

    while (used == 0 && pendingCount > 0) {
        bool more = FillPending(SequenceGapMs);
        used = TakeOne(!more, &key);
    }
    if (used == 0)
        return false;
    pendingCount -= used;
    std::memmove(pending, pending + used, static_cast<size_t>(pendingCount));
    readyKey = key;
    return true;
}

bool IsKeyWaiting() {
    if (readyKey >= 0)
        return true;
    if (pendingCount == 0)
        FillPending(0);
    return TakePendingKey();
}

// -1 when no key can come any more.
int ReadKey() {
    while (!IsKeyWaiting()) {
        if (inputClosed)
            return -1;
        FillPending(-1);
    }
    int key = readyKey;
    readyKey = -1;
    return key;
}

// On a terminal the message waits for Enter, as a message box waits for its
// button. Keys typed before it is shown are dropped, those the program has
// read and those still in the terminal's queue: only an Enter typed after
// the message has been seen counts.
void ShowMessage(const char *text) {
    if (terminal) {
        readyKey = -1;
        pendingCount = 0;
        tcflush(STDIN_FILENO, TCIFLUSH);
    }
    std::fprintf(stderr, "%s\n", text);
    if (!terminal)
        return;
    std::fputs("Press Enter.\n", stderr);
    for (;;) {
        for (int i = 0; i < pendingCount; i++) {
            if (pending[i] == '\n' || pending[i] == '\r') {
                pendingCount = 0;
                return;
            }
        }
        pendingCount = 0;
        if (!FillPending(-1) && inputClosed)
            return;
    }
}

// The HID library names a node it could not open and why; the usual causes
// are a node closed to this user and a remote another process holds.
void AdviseOnNoRemote() {
    std::fputs("lumadrifter: connect the remote (press 1 and 2) and start again. A node above "
               "that is closed to you needs the udev rule 70-lumadrifter.rules (see README) and "
               "the remote reconnected; a remote in use is free once its process ends.\n",
               stderr);
}

void WriteConsoleText(const char *text) {
    std::fputs(text, stdout);
    std::fflush(stdout);
}
