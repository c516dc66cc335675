// The console on Linux, and the choice of mouse output made once at start.
//
// On a terminal, keys are read one at a time without echo (signals are
// kept, so Ctrl-C still ends the program) and the terminal is put back as it
// was on every way out. Arrow and function keys arrive as escape sequences;
// they are told apart from a lone Escape by the bytes that follow at once.
// From a pipe or a file every byte is a key.
#include "platform/linux_backends.h"
#include "platform/linux_encoding.h"
#include "platform/platform.h"

#include <cerrno>
#include <csignal>
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
static bool inputClosed;
static unsigned char pending[64];
static int pendingCount;
static int readyKey = -1;

static const int SignalsToCatch[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

// An escape sequence comes from the terminal in one piece; a byte that has
// not followed ESC by then belongs to another key.
static const int SequenceGapMs = 30;

void RestoreTerminal() {
    if (terminalSaved)
        tcsetattr(STDIN_FILENO, TCSANOW, &savedTerminal);
}

// Gives back the terminal, the buttons held and the virtual mouse (whose
// keys the kernel releases as it goes), then lets the signal end the program
// as it would have (the handler is reset on entry).
static void LeaveOnSignal(int signal) {
    RestoreTerminal();
    ReleaseX11ButtonsFromSignal();
    DropUinputMouseFromSignal();
    raise(signal);
}

static void CatchSignals(bool on) {
    struct sigaction action = {};

    action.sa_handler = on ? LeaveOnSignal : SIG_DFL;
    action.sa_flags = SA_RESETHAND;
    sigemptyset(&action.sa_mask);
    for (int signal : SignalsToCatch) // one way out at a time
        sigaddset(&action.sa_mask, signal);
    for (int signal : SignalsToCatch)
        sigaction(signal, &action, nullptr);
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

bool StartPlatform() {
    if (!OpenMouseOutput())
        return false;
    CatchSignals(true);
    StartTerminal();
    return true;
}

void StopPlatform() {
    RestoreTerminal();
    terminalSaved = false;
    CatchSignals(false);
    if (output == X11Output)
        CloseX11Mouse();
    if (output == UinputOutput)
        CloseUinputMouse();
    output = NoOutput;
}

void SendMouseEvent(unsigned flags, int data) {
    if (output == X11Output)
        X11SendMouseEvent(flags, data);
    if (output == UinputOutput)
        UinputSendMouseEvent(flags, data);
}

void PlaceCursor(int x, int y) {
    if (output == X11Output)
        X11PlaceCursor(x, y);
    if (output == UinputOutput)
        UinputPlaceCursor(x, y);
}

void ReadCursor(int *x, int *y) {
    *x = 0;
    *y = 0;
    if (output == X11Output)
        X11ReadCursor(x, y);
    if (output == UinputOutput)
        UinputReadCursor(x, y);
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
