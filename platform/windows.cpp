// The system's services on Windows: injected mouse input, the cursor, a
// message box, the console through the C runtime, the performance counter,
// and threads started through the runtime so that it sets them up for itself.
#include "platform/held_buttons.h"
#include "platform/platform.h"

#include <windows.h>

#include <conio.h>
#include <cstdio>
#include <process.h>

// The output lock (platform.h).
static SRWLOCK outputLock = SRWLOCK_INIT;
static void (*leaveOnEnd)();

void LockOutput() {
    AcquireSRWLockExclusive(&outputLock);
}

void UnlockOutput() {
    ReleaseSRWLockExclusive(&outputLock);
}

void OnEndRequest(void (*leave)()) {
    LockOutput();
    leaveOnEnd = leave;
    UnlockOutput();
}

static void SendButton(unsigned flags) {
    mouse_event(flags, 0, 0, 0, 0);
}

// Ctrl+C, Ctrl+Break, the console window closed, a logoff or a shutdown:
// the system runs this in a thread of its own and gives it a few seconds.
// The buttons held are let go and the remote is left as a quit leaves it;
// the lock is kept (platform.h). The system's own handler then ends the
// process.
static BOOL WINAPI LeaveOnConsoleEvent(DWORD) {
    LockOutput();
    LetGoOfButtons(SendButton);
    if (leaveOnEnd)
        leaveOnEnd();
    return FALSE;
}

// A console program on Windows has its console and its mouse from the start.
bool StartPlatform() {
    SetConsoleCtrlHandler(LeaveOnConsoleEvent, TRUE);
    return true;
}

void StopPlatform() {
    SetConsoleCtrlHandler(LeaveOnConsoleEvent, FALSE);
}

// The flags of platform.h are the system's own MOUSEEVENTF_ values; a wheel
// amount travels as a signed value in the unsigned data word.
void SendMouseEvent(unsigned flags, int data) {
    LockOutput();
    NoteButtons(flags);
    mouse_event(flags, 0, 0, static_cast<DWORD>(data), 0);
    UnlockOutput();
}

void PlaceCursor(int x, int y) {
    SetCursorPos(x, y);
}

// Where the cursor was last seen. While the desktop is locked the system
// refuses to tell; the position read before then stands in.
static POINT lastCursor;

void ReadCursor(int *x, int *y) {
    POINT now;

    if (GetCursorPos(&now))
        lastCursor = now;
    *x = lastCursor.x;
    *y = lastCursor.y;
}

// No owner window, the system's default caption, a single OK button.
void ShowMessage(const char *text) {
    MessageBoxA(nullptr, text, nullptr, MB_OK);
}

// Nothing to add: every user may open the remote on Windows, and the HID
// library's own line names the error of a remote another program holds.
void AdviseOnNoRemote() {}

bool IsKeyWaiting() {
    return _kbhit() != 0;
}

int ReadKey() {
    return _getch();
}

void WriteConsoleText(const char *text) {
    std::printf("%s", text);
    std::fflush(stdout);
}

int64_t ReadCounter() {
    LARGE_INTEGER count;

    QueryPerformanceCounter(&count);
    return count.QuadPart;
}

int64_t ReadCounterFrequency() {
    LARGE_INTEGER frequency;

    QueryPerformanceFrequency(&frequency);
    return frequency.QuadPart;
}

void SleepMilliseconds(int ms) {
    Sleep(static_cast<DWORD>(ms));
}

static unsigned __stdcall RunThreadBody(void *body) {
    reinterpret_cast<ThreadBody>(body)(nullptr);
    return 0;
}

// _beginthreadex leaves the handle to the caller: it stays valid after the
// thread ends, until KillThread or ReleaseThread closes it, so terminating
// can never hit a handle the system has given to something else.
ThreadHandle StartThread(ThreadBody body) {
    return _beginthreadex(nullptr, 0, RunThreadBody, reinterpret_cast<void *>(body), 0, nullptr);
}

// TerminateThread ends a thread wherever it is: nothing to mark.
void MarkThreadKillable(bool) {}

// The wait makes sure the thread is gone before the caller closes what it was
// reading from; on a thread that has already ended it returns at once.
void KillThread(ThreadHandle thread) {
    if (thread == 0)
        return;
    HANDLE handle = reinterpret_cast<HANDLE>(thread);
    TerminateThread(handle, 0xFFFFFFFF);
    WaitForSingleObject(handle, INFINITE);
    CloseHandle(handle);
}

void ReleaseThread(ThreadHandle thread) {
    if (thread != 0)
        CloseHandle(reinterpret_cast<HANDLE>(thread));
}
