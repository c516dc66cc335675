// Waits for a message box, tells what it shows and dismisses it with OK, as
// a user would.
//
//   dismiss_message.exe <seconds>
//
// Prints the box's caption, its text, its owner and the buttons it shows,
// then exits 0; exits 1 when no box appeared within the time given.
#include <windows.h>

#include <cstdio>
#include <cstdlib>

static BOOL CALLBACK PrintButton(HWND child, LPARAM) {
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
static void Describe(HWND box) {
    char caption[256], text[1024];

    GetWindowTextA(box, caption, sizeof caption);
    GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
    std::printf("caption: %s\ntext: %s\nowner: %s\n", caption, text,
                GetWindow(box, GW_OWNER) ? "a window" : "none");
    EnumChildWindows(box, PrintButton, 0);
    std::fflush(stdout);
}

int main(int argc, char **argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: dismiss_message.exe <seconds>\n");
        return 2;
    }
    DWORD limit = GetTickCount() + static_cast<DWORD>(std::atoi(argv[1])) * 1000;

    while (static_cast<LONG>(limit - GetTickCount()) > 0) {
        HWND box = FindWindowA("#32770", nullptr);
        if (box && IsWindowVisible(box)) {
            Describe(box);
            PostMessageA(box, WM_COMMAND, IDOK, 0);
            return 0;
        }
        Sleep(20);
    }
    std::printf("no message box\n");
    return 1;
}
