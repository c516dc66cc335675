// Watches the mouse as the system sees it, a line an observation:
//
//   watch_mouse.exe <x> <y> <stop file>
//
//   screen <width> <height>     the screen, once at the start
//   ready                       the cursor is at (x, y) and the hook is in
//   left-down <x> <y>           a button event and where the cursor was
//   left-up, right-down, right-up
//   wheel <amount> <x> <y>      a wheel event, amount in 1/120 notch
//   move <x> <y>                a mouse movement event
//   cursor <x> <y>              the cursor stands somewhere new
//   done                        the stop file is there: after one more
//                               sample the watcher ends
//
// Button, wheel and move events come from a low-level mouse hook, which
// sees all injected input; cursor placements raise no events, so the
// cursor is sampled every millisecond. Runs until the stop file appears.
#include <windows.h>

#include <cstdio>
#include <cstdlib>

static CRITICAL_SECTION printing;

static void Say(const char *what, int amount, bool withAmount, POINT at) {
    EnterCriticalSection(&printing);
    if (withAmount)
        std::printf("%s %+d %ld %ld\n", what, amount, at.x, at.y);
    else
        std::printf("%s %ld %ld\n", what, at.x, at.y);
    std::fflush(stdout);
    LeaveCriticalSection(&printing);
}

static LRESULT CALLBACK SeeMouse(int code, WPARAM message, LPARAM data) {
    const MSLLHOOKSTRUCT *event = reinterpret_cast<const MSLLHOOKSTRUCT *>(data);

    if (code == HC_ACTION) {
        switch (message) {
        case WM_LBUTTONDOWN:
            Say("left-down", 0, false, event->pt);
            break;
        case WM_LBUTTONUP:
            Say("left-up", 0, false, event->pt);
            break;
        case WM_RBUTTONDOWN:
            Say("right-down", 0, false, event->pt);
            break;
        case WM_RBUTTONUP:
            Say("right-up", 0, false, event->pt);
            break;
        case WM_MOUSEWHEEL:
            Say("wheel", static_cast<SHORT>(HIWORD(event->mouseData)), true, event->pt);
            break;
        case WM_MOUSEMOVE:
            Say("move", 0, false, event->pt);
            break;
        default:
            Say("other", static_cast<int>(message), true, event->pt);
        }
    }
    return CallNextHookEx(nullptr, code, message, data);
}

static DWORD WINAPI SampleCursor(void *stopFile) {
    POINT last = {-1, -1}, now;

    for (;;) {
        bool stop =
            GetFileAttributesA(static_cast<const char *>(stopFile)) != INVALID_FILE_ATTRIBUTES;
        if (GetCursorPos(&now) && (now.x != last.x || now.y != last.y)) {
            Say("cursor", 0, false, now);
            last = now;
        }
        if (stop) {
            EnterCriticalSection(&printing);
            std::printf("done\n");
            std::fflush(stdout);
            ExitProcess(0);
        }
        Sleep(1);
    }
}

int main(int argc, char **argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: watch_mouse.exe <x> <y> <stop file>\n");
        return 2;
    }
    InitializeCriticalSection(&printing);
    std::printf("screen %d %d\n", GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN));
    SetCursorPos(std::atoi(argv[1]), std::atoi(argv[2]));

    if (!SetWindowsHookExA(WH_MOUSE_LL, SeeMouse, GetModuleHandleA(nullptr), 0)) {
        std::printf("no hook: error %lu\n", GetLastError());
        return 1;
    }
    std::printf("ready\n");
    std::fflush(stdout);
    CreateThread(nullptr, 0, SampleCursor, argv[3], 0, nullptr);

    // The hook is called through this thread's message queue.
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0)
        DispatchMessageA(&message);
    return 0;
}
