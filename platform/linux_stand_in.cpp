// Until the X11 and uinput mouse output exists, the program says so and ends.
#include "platform/platform.h"

#include <cstdio>

bool StartPlatform() {
    std::fputs("lumadrifter: no mouse output is built for this system yet.\n", stderr);
    return false;
}

void StopPlatform() {}
void SendMouseEvent(unsigned, int) {}
void PlaceCursor(int, int) {}
void ReadCursor(int *x, int *y) {
    *x = 0;
    *y = 0;
}
void ShowMessage(const char *text) {
    std::fprintf(stderr, "%s\n", text);
}
bool IsKeyWaiting() {
    return false;
}
int ReadKey() {
    return 0;
}
void WriteConsoleText(const char *text) {
    std::fputs(text, stdout);
    std::fflush(stdout);
}
