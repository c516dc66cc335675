// A stand-in for the system's hid.dll, loaded in its place under Wine, so
// that the real tiny_hid_dll.dll runs against a scripted remote.
//
// The remote's device is a message-mode named pipe served by this library's
// own threads. Each output report tiny_hid_dll.dll writes is one message,
// handed to the scripted remote (tests/scripted_hid.cpp), which logs it; each
// report of the script comes back as one message of the remote's input
// length, and when the script's remote goes away the pipe is cut. Script,
// log and the device's ids come from the environment:
// LUMADRIFTER_TEST_HID_SCRIPT, LUMADRIFTER_TEST_HID_LOG and
// LUMADRIFTER_TEST_HID_IDS (vendor:product in hex; 057e:0306 when unset).
// Beside the remote the HID class holds a keyboard, with the ids of
// LUMADRIFTER_TEST_HID_KEYBOARD_IDS (046d:c31c when unset).
// An output report of the wrong length, or a set-report request, is said on
// standard error.
#include "remote/tiny_hid_dll.h"
#include "tests/scripted_hid.h"

#include <windows.h>

extern "C" {
#include <hidsdi.h>
}

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace {

constexpr int remoteLength = 22; // the remote's input and output report length
constexpr int remoteHandle = 7;  // what the scripted remote hands out
constexpr DWORD keyboardInstances = 100;

enum Step { Connecting, Reading, Writing };

// One overlapped step on the pipe, waited for: bytes moved (0 for a
// connection), or -1. A client already there is a connection made.
int Move(HANDLE pipe, Step step, void *buffer = nullptr, DWORD length = 0) {
    OVERLAPPED transfer = {};
    transfer.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    BOOL started = step == Connecting ? ConnectNamedPipe(pipe, &transfer)
                   : step == Reading  ? ReadFile(pipe, buffer, length, nullptr, &transfer)
                                      : WriteFile(pipe, buffer, length, nullptr, &transfer);
    DWORD error = started ? ERROR_IO_PENDING : GetLastError(), done = 0;
    bool ok = (step == Connecting && error == ERROR_PIPE_CONNECTED) ||
              (error == ERROR_IO_PENDING && GetOverlappedResult(pipe, &transfer, &done, TRUE));
    CloseHandle(transfer.hEvent);
    return ok ? static_cast<int>(done) : -1;
}

void TakeOutputReport(unsigned char *report, int length) {
    if (length != OutputReportLength(report[0]))
        std::fprintf(stderr, "stand-in hid: output report %02x came with %d bytes, not %d\n",
                     report[0], length, OutputReportLength(report[0]));
    std::memset(report + length, 0, static_cast<size_t>(256 - length));
    unsigned int word = 0;
    WriteReport(remoteHandle, report, &word);
}

DWORD WINAPI SendReports(void *pipe) {
    for (;;) {
        unsigned char report[256] = {};
        unsigned int word = 0;
        if (ReadReport(remoteHandle, report, &word) < 0 ||
            Move(pipe, Writing, report, remoteLength) < 0)
            break;
    }
    DisconnectNamedPipe(pipe);
    return 0;
}

// The remote's ids, or the keyboard's, from the environment (vendor:product
// in hex), else the defaults.
std::pair<int, int> Ids(bool keyboard) {
    unsigned vendor = keyboard ? 0x046D : 0x057E, product = keyboard ? 0xC31C : 0x0306;
    if (const char *ids = std::getenv(keyboard ? "LUMADRIFTER_TEST_HID_KEYBOARD_IDS"
                                               : "LUMADRIFTER_TEST_HID_IDS"))
        std::sscanf(ids, "%x:%x", &vendor, &product);
    return {static_cast<int>(vendor), static_cast<int>(product)};
}

// Set once the remote's close has been logged.
HANDLE closeLogged;

// Runs in the program's exit, before the system ends this library's
// threads: a program that closes the remote and ends at once would
// otherwise cut the log short of its last writes and the close. The wait
// is bounded, so a program that leaves the remote open still ends, with no
// close in the log.
int __cdecl WaitForTheLog() {
    WaitForSingleObject(closeLogged, 5000);
    return 0;
}

// Through the C runtime's own exit list, which the program's exit runs; a
// library's atexit would run only once the threads are gone.
void WaitForTheLogAtExit() {
    using OnExit = _onexit_t(__cdecl *)(_onexit_t);
    if (closeLogged)
        return;
    closeLogged = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    // Through void (*)(), the type a function pointer is converted by.
    auto onExit = reinterpret_cast<OnExit>(
        reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleA("msvcrt.dll"), "_onexit")));
    if (onExit)
        onExit(WaitForTheLog);
}

// A device opened only to be looked at closes again before writing, and its
// instance is done with; the remote is opened for good with its first
// output report.
DWORD WINAPI Serve(void *pipe) {
    unsigned char report[256];
    int length = Move(pipe, Connecting) < 0 ? -1 : Move(pipe, Reading, report, sizeof report);
    if (length <= 0)
        return 0;
    auto [vendorId, productId] = Ids(false);
    OpenHidHandle(vendorId, productId);
    WaitForTheLogAtExit();
    CreateThread(nullptr, 0, SendReports, pipe, 0, nullptr);
    do
        TakeOutputReport(report, length);
    while ((length = Move(pipe, Reading, report, sizeof report)) > 0);
    CloseHidHandle(remoteHandle);
    SetEvent(closeLogged);
    return 0;
}

} // namespace

// Every search of the HID class starts here, so each search gets pipes of
// its own, listening before the devices are opened, two instances each
// (tiny_hid_dll.dll opens a device once to read its ids and, if they are
// the remote's, once more to use it): the remote's and a keyboard's. Like a
// real keyboard, the keyboard can be opened with no access rights, to read
// its ids, but not for reading and writing: its pipe only takes data in.
// Its instances are told apart from the remote's by their limit.
void NTAPI HidD_GetHidGuid(LPGUID guid) {
    char name[128];
    std::snprintf(name, sizeof name, "\\\\.\\pipe\\lumadrifter-remote-%lu", GetCurrentProcessId());
    for (int i = 0; i < 2; i++) {
        HANDLE pipe = CreateNamedPipeA(name, PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                                       PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT,
                                       PIPE_UNLIMITED_INSTANCES, 0, 4096, 0, nullptr);
        if (pipe != INVALID_HANDLE_VALUE)
            CreateThread(nullptr, 0, Serve, pipe, 0, nullptr);
    }
    std::snprintf(name, sizeof name, "\\\\.\\pipe\\lumadrifter-keyboard-%lu",
                  GetCurrentProcessId());
    for (int i = 0; i < 2; i++)
        CreateNamedPipeA(name, PIPE_ACCESS_INBOUND, PIPE_TYPE_BYTE | PIPE_WAIT, keyboardInstances,
                         0, 4096, 0, nullptr);
    *guid = GUID{};
}

BOOLEAN NTAPI HidD_GetAttributes(HANDLE device, PHIDD_ATTRIBUTES attributes) {
    DWORD instances = 0;
    auto [vendorId, productId] =
        Ids(GetNamedPipeInfo(device, nullptr, nullptr, nullptr, &instances) &&
            instances == keyboardInstances);
    attributes->VendorID = static_cast<USHORT>(vendorId);
    attributes->ProductID = static_cast<USHORT>(productId);
    attributes->VersionNumber = 0x0100;
    return TRUE;
}

static char preparsedData;

BOOLEAN NTAPI HidD_GetPreparsedData(HANDLE, PHIDP_PREPARSED_DATA *preparsed) {
    *preparsed = reinterpret_cast<PHIDP_PREPARSED_DATA>(&preparsedData);
    return TRUE;
}

BOOLEAN NTAPI HidD_FreePreparsedData(PHIDP_PREPARSED_DATA) {
    return TRUE;
}

NTSTATUS NTAPI HidP_GetCaps(PHIDP_PREPARSED_DATA, PHIDP_CAPS caps) {
    *caps = HIDP_CAPS{};
    caps->InputReportByteLength = remoteLength;
    caps->OutputReportByteLength = remoteLength;
    return HIDP_STATUS_SUCCESS;
}

// Needed only where writes fail, which a pipe's never do.
BOOLEAN NTAPI HidD_SetOutputReport(HANDLE, PVOID, ULONG) {
    std::fprintf(stderr, "stand-in hid: HidD_SetOutputReport was used\n");
    return FALSE;
}
