// Types keys into another program's console, as if at its keyboard:
//
//   type_keys.exe <program.exe> <key>...
//
// A key is one character, esc for Escape or ctrl-c for Ctrl+C. Each becomes a key-down and a
// key-up event in the console's input, which is what the C runtime's
// keyboard calls read. For each key it prints "typed <key> <us>": the
// moment it went in, on the clock the scripted remote's log counts in.
#include <windows.h>

#include <tlhelp32.h>

#include <chrono>
#include <cstdio>
#include <cstring>

static DWORD FindProcess(const char *name) {
    DWORD found = 0;
    HANDLE all = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32 entry;

    entry.dwSize = sizeof entry;
    for (BOOL more = Process32First(all, &entry); more; more = Process32Next(all, &entry))
        if (lstrcmpiA(entry.szExeFile, name) == 0)
            found = entry.th32ProcessID;
    CloseHandle(all);
    return found;
}

static void KeyEvents(const char *key, INPUT_RECORD events[2]) {
    bool escape = std::strcmp(key, "esc") == 0;
    bool control = std::strcmp(key, "ctrl-c") == 0;
    char code = escape ? 27 : control ? 3 : key[0];
    WORD virtualKey = escape ? VK_ESCAPE : control ? 'C' : LOBYTE(VkKeyScanA(code));

    for (int i = 0; i < 2; i++) {
        events[i] = {};
        events[i].EventType = KEY_EVENT;
        events[i].Event.KeyEvent.bKeyDown = i == 0;
        events[i].Event.KeyEvent.wRepeatCount = 1;
        events[i].Event.KeyEvent.wVirtualKeyCode = virtualKey;
        events[i].Event.KeyEvent.wVirtualScanCode =
            static_cast<WORD>(MapVirtualKeyA(virtualKey, MAPVK_VK_TO_VSC));
        events[i].Event.KeyEvent.uChar.AsciiChar = code;
        events[i].Event.KeyEvent.dwControlKeyState = control ? LEFT_CTRL_PRESSED : 0;
    }
}

int main(int argc, char **argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: type_keys.exe <program.exe> <key>...\n");
        return 2;
    }
    DWORD process = FindProcess(argv[1]);
    if (process == 0) {
        std::fprintf(stderr, "type_keys: %s is not running\n", argv[1]);
        return 1;
    }
    FreeConsole();
    if (!AttachConsole(process)) {
        std::fprintf(stderr, "type_keys: cannot attach to the console of %s: error %lu\n", argv[1],
                     GetLastError());
        return 1;
    }
    // Attached, this process is sent the Ctrl+C it types as well: it
    // ignores it, so that it lives to say when the key went in.
    SetConsoleCtrlHandler(nullptr, TRUE);
    HANDLE input =
        CreateFileA("CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, 0, nullptr);
    for (int i = 2; i < argc; i++) {
        INPUT_RECORD events[2];
        DWORD written = 0;
        KeyEvents(argv[i], events);
        auto now = std::chrono::steady_clock::now().time_since_epoch();
        long long us = std::chrono::duration_cast<std::chrono::microseconds>(now).count();
        if (!WriteConsoleInputA(input, events, 2, &written) || written != 2) {
            std::fprintf(stderr, "type_keys: cannot type %s: error %lu\n", argv[i], GetLastError());
            return 1;
        }
        std::printf("typed %s %lld\n", argv[i], us);
        std::fflush(stdout);
    }
    return 0;
}
