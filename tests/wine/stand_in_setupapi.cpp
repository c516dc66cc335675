// A stand-in for the system's setupapi.dll, loaded in its place under Wine:
// the HID class holds three device interfaces: a device that cannot be
// opened at all, a keyboard that cannot be opened for reading and writing,
// and the scripted remote. The stand-in hid.dll serves the last two through
// named pipes.
#define _SETUPAPI_ // these definitions are the library, not imports of it
#include <windows.h>

#include <setupapi.h>

#include <cstdio>

HDEVINFO WINAPI SetupDiGetClassDevsA(const GUID *, PCSTR, HWND, DWORD) {
    return reinterpret_cast<HDEVINFO>(1);
}

WINBOOL WINAPI SetupDiEnumDeviceInterfaces(HDEVINFO, PSP_DEVINFO_DATA, const GUID *, DWORD index,
                                           PSP_DEVICE_INTERFACE_DATA entry) {
    if (index > 2 || entry->cbSize != sizeof *entry) {
        SetLastError(index > 2 ? ERROR_NO_MORE_ITEMS : ERROR_INVALID_USER_BUFFER);
        return FALSE;
    }
    entry->Reserved = index;
    return TRUE;
}

// The same names the stand-in hid.dll gives its pipe.
WINBOOL WINAPI SetupDiGetDeviceInterfaceDetailA(HDEVINFO, PSP_DEVICE_INTERFACE_DATA entry,
                                                PSP_DEVICE_INTERFACE_DETAIL_DATA_A detail,
                                                DWORD size, PDWORD required, PSP_DEVINFO_DATA) {
    static const char *const names[] = {"no-device", "keyboard", "remote"};
    char path[128];
    int length = std::snprintf(path, sizeof path, "\\\\.\\pipe\\lumadrifter-%s-%lu",
                               names[entry->Reserved], GetCurrentProcessId());
    DWORD needed = static_cast<DWORD>(offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath) +
                                      static_cast<size_t>(length) + 1);
    if (required)
        *required = needed;
    if (!detail || size < needed) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    if (detail->cbSize != sizeof *detail) {
        SetLastError(ERROR_INVALID_USER_BUFFER);
        return FALSE;
    }
    lstrcpyA(detail->DevicePath, path);
    return TRUE;
}

WINBOOL WINAPI SetupDiDestroyDeviceInfoList(HDEVINFO) {
    return TRUE;
}
