// show_manifest <program.exe>: writes the program's application manifest
// (resource 1 of type RT_MANIFEST) to standard output, then one line saying
// how DPI aware this helper itself runs: it carries the program's manifest,
// so the line tells whether the system took the manifest's settings.
// Exits with 1 when the program has no manifest.
#define WINVER 0x0A00 // the DPI awareness calls
#define _WIN32_WINNT 0x0A00
#include <windows.h>

#include <cstdio>

int main(int argc, char **argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: show_manifest <program.exe>\n");
        return 2;
    }
    HMODULE program =
        LoadLibraryExA(argv[1], nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    if (!program) {
        std::fprintf(stderr, "show_manifest: cannot load %s (error %lu)\n", argv[1],
                     GetLastError());
        return 1;
    }
    HRSRC found = FindResourceA(program, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));
    HGLOBAL loaded = found ? LoadResource(program, found) : nullptr;
    const void *text = loaded ? LockResource(loaded) : nullptr;
    if (!text) {
        std::fprintf(stderr, "show_manifest: %s has no manifest\n", argv[1]);
        return 1;
    }
    std::fwrite(text, 1, SizeofResource(program, found), stdout);

    // DPI_AWARENESS: 0 unaware, 1 system aware, 2 per monitor.
    std::printf("\nawareness %d\n", static_cast<int>(GetAwarenessFromDpiAwarenessContext(
                                        GetThreadDpiAwarenessContext())));
    return 0;
}
