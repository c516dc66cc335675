// The console on Linux, and the choice of mouse output made once at start.
//
// On a terminal, keys are read one at a time without echo (signals are
// kept, so Ctrl-C still ends the program) and the terminal is put back as it
// was on every way out. The mouse is driven under the output lock, so the
// signal thread (linux_signals.cpp) can let go of the buttons and the mouse
// while the main thread is anywhere. Arrow and function keys arrive as escape sequences;
// they are told apart from a lone Escape by the bytes that follow at once.
// From a pipe or a file every byte is a key.
#include "platform/linux_backends.h"
#include "platform/linux_encoding.h"
#include "platform/platform.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

enum MouseOutput { NoOutput, X11Output, UinputOutput };

static MouseOutput output;

static bool terminal;
static bool terminalSaved;
static termios savedTerminal;
static termios keyTerminal;
// The buttons held down, as MouseLeftDown and MouseRightDown; under the lock.
static unsigned held;
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
static void StartTerminal() {
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

static bool OpenMouseOutput() {
    char x11Why[256], uinputWhy[256];
    bool tell = false;

    if (OpenX11Mouse(x11Why, sizeof x11Why, &tell)) {
        output = X11Output;
        return true;
    }
    if (OpenUinputMouse(uinputWhy, sizeof uinputWhy)) {
        output = UinputOutput;
        if (tell)
            std::fprintf(stderr, "lumadrifter: not using X11: %s.\n", x11Why);
        return true;
    }
    std::fprintf(stderr,
                 "lumadrifter: no way to move the mouse.\n"
                 "  X11: %s.\n"
                 "  uinput: %s.\n"
                 "Run the program in an X11 session with DISPLAY set, or let your user make a "
                 "virtual mouse: load the uinput module (sudo modprobe uinput) and install the "
                 "udev rule 70-lumadrifter.rules (see README).\n",
                 x11Why, uinputWhy);
    return false;
}

// The signal thread starts first, so that every thread after it (the
// probe's reader, any of a library's) has the signals blocked.
bool StartPlatform() {
    StartSignalThread();
    LockOutput();
    bool opened = OpenMouseOutput();
    if (opened)
        StartTerminal();
    UnlockOutput();
    return opened;
}

// Under the lock.
static void CloseMouseOutput() {
    if (output == X11Output)
        CloseX11Mouse();
    if (output == UinputOutput)
        CloseUinputMouse();
    output = NoOutput;
}

void StopPlatform() {
    LockOutput();
    RestoreTerminal();
    terminalSaved = false;
    CloseMouseOutput();
    UnlockOutput();
}

void GiveBackOnEnd() {
    RestoreTerminal();
    terminalSaved = false;
    CloseMouseOutput();
}

static void SendToOutput(unsigned flags, int data) {
    if (output == X11Output)
        X11SendMouseEvent(flags, data);
    if (output == UinputOutput)
        UinputSendMouseEvent(flags, data);
}

void SendMouseEvent(unsigned flags, int data) {
    LockOutput();
    held |= flags & (MouseLeftDown | MouseRightDown);
    if (flags & MouseLeftUp)
        held &= ~static_cast<unsigned>(MouseLeftDown);
    if (flags & MouseRightUp)
        held &= ~static_cast<unsigned>(MouseRightDown);
    SendToOutput(flags, data);
    UnlockOutput();
}

// An up event for each button held; the system would keep a button the
// program pressed down after the program has gone.
unsigned LetGoOfButtons() {
    unsigned wasHeld = held;

    if (held & MouseLeftDown)
        SendToOutput(MouseLeftUp, 0);
    if (held & MouseRightDown)
        SendToOutput(MouseRightUp, 0);
    held = 0;
    return wasHeld;
}

void PressAgain(unsigned buttons) {
    if (buttons & MouseLeftDown)
        SendToOutput(MouseLeftDown, 0);
    if (buttons & MouseRightDown)
        SendToOutput(MouseRightDown, 0);
    held = buttons;
}

void PlaceCursor(int x, int y) {
    LockOutput();
    if (output == X11Output)
        X11PlaceCursor(x, y);
    if (output == UinputOutput)
        UinputPlaceCursor(x, y);
    UnlockOutput();
}

void ReadCursor(int *x, int *y) {
    *x = 0;
    *y = 0;
    LockOutput();
    if (output == X11Output)
        X11ReadCursor(x, y);
    if (output == UinputOutput)
        UinputReadCursor(x, y);
    UnlockOutput();
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
// button; keys typed before it are dropped.
void ShowMessage(const char *text) {
    std::fprintf(stderr, "%s\n", text);
    if (!terminal)
        return;
    std::fputs("Press Enter.\n", stderr);
    readyKey = -1;
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

void WriteConsoleText(const char *text) {
    std::fputs(text, stdout);
    std::fflush(stdout);
}
