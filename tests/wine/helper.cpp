// What tests/wine/run.sh runs under Wine to stand in for the user at the
// screen and the keyboard, and to read the program's manifest:
//
//   helper.exe watch <x> <y> <stop file>
//       watches the mouse as the system sees it, a line an observation:
//         screen <width> <height>   the screen, once at the start
//         ready                     the cursor is at (x, y) and the hook is in
//         left-down <x> <y>         a button event and where the cursor was
//         left-up, right-down, right-up
//         wheel <amount> <x> <y>    a wheel event, amount in 1/120 notch
//         move <x> <y>              a mouse movement event
//         cursor <x> <y>            the cursor stands somewhere new
//         done                      the stop file is there: after one more
//                                   sample the watcher ends
//       Button, wheel and move events come from a low-level mouse hook,
//       which sees all injected input; cursor placements raise no events, so
//       the cursor is sampled every millisecond.
//   helper.exe dismiss <seconds>
//       waits for a message box, prints its caption, its text, its owner and
//       the buttons it shows, and dismisses it with OK, as a user would;
//       exits 1 when no box appeared within the time given.
//   helper.exe type <program.exe> <key>...
//       types keys into the program's console, as if at its keyboard: one
//       character, esc for Escape or ctrl-c for Ctrl+C, each a key-down and a
//       key-up event in the console's input, which is what the C runtime's
//       keyboard calls read. For each key it prints "typed <key> <us>": the
//       moment it went in, on the clock the scripted remote's log counts in.
//   helper.exe manifest <program.exe>
//       writes the program's application manifest (resource 1 of type
//       RT_MANIFEST), then how DPI aware this helper itself runs: it carries
//       the program's manifest, so the line tells whether the system took
//       the manifest's settings. Exits 1 when the program has none.
#define WINVER 0x0A00 // the DPI awareness calls
#define _WIN32_WINNT 0x0A00
#include <windows.h>

#include <tlhelp32.h>

#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

CRITICAL_SECTION printing;

// One line of the watcher's, whole, from whichever thread.
void Say(const char *format, ...) {
    va_list args;
    va_start(args, format);
    EnterCriticalSection(&printing);
    std::vprintf(format, args);
    std::fflush(stdout);
    LeaveCriticalSection(&printing);
    va_end(args);
}

// Says what went wrong, with the system's last error, and gives 1.
int Failed(const char *what, const char *name) {
    std::fprintf(stderr, "helper: %s %s: error %lu\n", what, name, GetLastError());
    return 1;
}

LRESULT CALLBACK SeeMouse(int code, WPARAM message, LPARAM data) {
    static const std::pair<WPARAM, const char *> names[] = {{WM_LBUTTONDOWN, "left-down"},
                                                            {WM_LBUTTONUP, "left-up"},
                                                            {WM_RBUTTONDOWN, "right-down"},
                                                            {WM_RBUTTONUP, "right-up"},
                                                            {WM_MOUSEMOVE, "move"}};

    if (code == HC_ACTION) {
        const MSLLHOOKSTRUCT *event = reinterpret_cast<const MSLLHOOKSTRUCT *>(data);
        const POINT at = event->pt;
        const char *name = nullptr;
        for (const auto &[id, text] : names)
            name = id == message ? text : name;
        if (name)
            Say("%s %ld %ld\n", name, at.x, at.y);
        else if (message == WM_MOUSEWHEEL)
            Say("wheel %+d %ld %ld\n", static_cast<SHORT>(HIWORD(event->mouseData)), at.x, at.y);
        else
            Say("other %+d %ld %ld\n", static_cast<int>(message), at.x, at.y);
    }
    return CallNextHookEx(nullptr, code, message, data);
}

DWORD WINAPI SampleCursor(void *stopFile) {
    POINT last = {-1, -1}, now;

    for (;;) {
        bool stop =
            GetFileAttributesA(static_cast<const char *>(stopFile)) != INVALID_FILE_ATTRIBUTES;
        if (GetCursorPos(&now) && (now.x != last.x || now.y != last.y)) {
            Say("cursor %ld %ld\n", now.x, now.y);
            last = now;
        }
        if (stop) {
            EnterCriticalSection(&printing); // nothing said after done
            std::printf("done\n");
            std::fflush(stdout);
            ExitProcess(0);
        }
        Sleep(1);
    }
}

int Watch(int x, int y, char *stopFile) {
    InitializeCriticalSection(&printing);
    std::printf("screen %d %d\n", GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN));
    SetCursorPos(x, y);
    if (!SetWindowsHookExA(WH_MOUSE_LL, SeeMouse, GetModuleHandleA(nullptr), 0)) {
        std::printf("no hook: error %lu\n", GetLastError());
        return 1;
    }
    std::printf("ready\n");
    std::fflush(stdout);
    CreateThread(nullptr, 0, SampleCursor, stopFile, 0, nullptr);
    // The hook is called through this thread's message queue.
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0)
        DispatchMessageA(&message);
    return 0;
}

BOOL CALLBACK PrintButton(HWND child, LPARAM) {
    char kind[32], text[64];

    GetClassNameA(child, kind, sizeof kind);
    if (lstrcmpiA(kind, "Button") == 0 && IsWindowVisible(child)) {
        GetWindowTextA(child, text, sizeof text);
        std::printf("button: %s\n", text);
    }
    return TRUE;
}

// A message box is a dialog of the system's dialog class; its text is the
// static control with id 0xFFFF.
int Dismiss(int seconds) {
    DWORD limit = GetTickCount() + static_cast<DWORD>(seconds) * 1000;
    char caption[256], text[1024];

    while (static_cast<LONG>(limit - GetTickCount()) > 0) {
        HWND box = FindWindowA("#32770", nullptr);
        if (box && IsWindowVisible(box)) {
            GetWindowTextA(box, caption, sizeof caption);
            GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
            std::printf("caption: %s\ntext: %s\nowner: %s\n", caption, text,
                        GetWindow(box, GW_OWNER) ? "a window" : "none");
            EnumChildWindows(box, PrintButton, 0);
            std::fflush(stdout);
            PostMessageA(box, WM_COMMAND, IDOK, 0);
            return 0;
        }
        Sleep(20);
    }
    std::printf("no message box\n");
    return 1;
}

int Type(const char *program, int count, char **keys) {
    DWORD process = 0;
    HANDLE all = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32 entry;
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32First(all, &entry); more; more = Process32Next(all, &entry))
        if (lstrcmpiA(entry.szExeFile, program) == 0)
            process = entry.th32ProcessID;
    CloseHandle(all);

    if (process == 0)
        return Failed("not running:", program);
    FreeConsole();
    if (!AttachConsole(process))
        return Failed("cannot attach to the console of", program);
    // Attached, this process is sent the Ctrl+C it types as well: it
    // ignores it, so that it lives to say when the key went in.
    SetConsoleCtrlHandler(nullptr, TRUE);
    HANDLE input =
        CreateFileA("CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, 0, nullptr);
    for (int k = 0; k < count; k++) {
        bool escape = std::strcmp(keys[k], "esc") == 0;
        bool control = std::strcmp(keys[k], "ctrl-c") == 0;
        char code = escape ? 27 : control ? 3 : keys[k][0];
        WORD virtualKey = escape ? VK_ESCAPE : control ? 'C' : LOBYTE(VkKeyScanA(code));
        WORD scanCode = static_cast<WORD>(MapVirtualKeyA(virtualKey, MAPVK_VK_TO_VSC));
        DWORD state = control ? LEFT_CTRL_PRESSED : 0;
        INPUT_RECORD events[2]; // the key down, then up
        for (int i = 0; i < 2; i++)
            events[i] = {
                KEY_EVENT,
                {.KeyEvent = {i == 0, 1, virtualKey, scanCode, {.AsciiChar = code}, state}}};
        auto now = std::chrono::steady_clock::now().time_since_epoch();
        long long us = std::chrono::duration_cast<std::chrono::microseconds>(now).count();
        DWORD written = 0;
        if (!WriteConsoleInputA(input, events, 2, &written) || written != 2)
            return Failed("cannot type", keys[k]);
        std::printf("typed %s %lld\n", keys[k], us);
        std::fflush(stdout);
    }
    return 0;
}

int Manifest(const char *program) {
    HMODULE loaded =
        LoadLibraryExA(program, nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    if (!loaded)
        return Failed("cannot load", program);
    HRSRC found = FindResourceA(loaded, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));
    HGLOBAL resource = found ? LoadResource(loaded, found) : nullptr;
    const void *text = resource ? LockResource(resource) : nullptr;
    if (!text)
        return Failed("no manifest in", program);
    std::fwrite(text, 1, SizeofResource(loaded, found), stdout);
    // DPI_AWARENESS: 0 unaware, 1 system aware, 2 per monitor.
    std::printf("\nawareness %d\n", static_cast<int>(GetAwarenessFromDpiAwarenessContext(
                                        GetThreadDpiAwarenessContext())));
    return 0;
}

} // namespace

int main(int argc, char **argv) {
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "watch" && argc == 5)
        return Watch(std::atoi(argv[2]), std::atoi(argv[3]), argv[4]);
    if (command == "dismiss" && argc == 3)
        return Dismiss(std::atoi(argv[2]));
    if (command == "type" && argc >= 4)
        return Type(argv[2], argc - 3, argv + 3);
    if (command == "manifest" && argc == 3)
        return Manifest(argv[2]);
    std::fputs("usage: helper.exe watch <x> <y> <stop file> | dismiss <seconds> |\n"
               "       type <program.exe> <key>... | manifest <program.exe>\n",
               stderr);
    return 2;
}
