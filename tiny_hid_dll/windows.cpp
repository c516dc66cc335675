// The HID library on Windows: the remote through the system's own HID class
// driver. Devices are found with SetupAPI, reports travel as overlapped file
// I/O, and each output report's length comes from its id.
#include "remote/tiny_hid_dll.h"
#include "tiny_hid_dll/report_lengths.h"

#include <windows.h>

#include <setupapi.h>

// MinGW-w64's HID headers declare their functions without C linkage guards.
// hidsdi.h brings hidusage.h and hidpi.h in, in the order they need.
extern "C" {
#include <hidsdi.h>
}

#include <atomic>
#include <cstdio>
#include <cstring>

namespace {

// The ways an output report can reach the remote. Bluetooth stacks differ:
// most take a write of the report's own length, some only a write of the
// device's full output length, older ones only the set-report request.
enum WriteWay { WriteOwnLength, WritePadded, WriteSetOutputReport, WriteWays };

struct HidDevice {
    bool open;
    HANDLE file;
    int productId;
    int inputLength;  // InputReportByteLength: id byte and payload
    int outputLength; // OutputReportByteLength
    int writeWay;     // the way that last worked, tried first
    std::atomic<bool> gone;
};

constexpr int deviceCount = 8;
HidDevice devices[deviceCount];

HidDevice *DeviceFor(int handle) {
    if (handle < 0 || handle >= deviceCount || !devices[handle].open)
        return nullptr;
    return &devices[handle];
}

bool IsDevice(HANDLE file, int vendorId, int productId) {
    HIDD_ATTRIBUTES attributes;

    attributes.Size = sizeof attributes;
    return HidD_GetAttributes(file, &attributes) && attributes.VendorID == vendorId &&
           attributes.ProductID == productId;
}

// Each HID interface is first opened with no access rights, which every
// device allows, only to read its ids: keyboards and mice refuse read and
// write access to everyone, and no other program's device is opened for
// reading. Only the remote's is then opened for overlapped reading and
// writing, shared with other programs. Should that fail (another program
// holds the remote for itself), the user is told which remote was passed
// over and the system's error.
HANDLE OpenIfDevice(const char *path, int vendorId, int productId) {
    HANDLE look = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              0, nullptr);
    if (look == INVALID_HANDLE_VALUE)
        return INVALID_HANDLE_VALUE;
    bool ours = IsDevice(look, vendorId, productId);
    CloseHandle(look);
    if (!ours)
        return INVALID_HANDLE_VALUE;

    HANDLE file =
        CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                    OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        DWORD error = GetLastError();
        std::fprintf(stderr, "tiny_hid_dll: the remote %04x:%04x cannot be opened (error %lu).\n",
                     vendorId, productId, error);
    }
    return file;
}

// The first HID interface with these ids, opened for overlapped reading and
// writing and shared with other programs.
HANDLE FindDevice(int vendorId, int productId) {
    GUID hidClass;
    HidD_GetHidGuid(&hidClass);
    HDEVINFO set =
        SetupDiGetClassDevsA(&hidClass, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (set == INVALID_HANDLE_VALUE)
        return INVALID_HANDLE_VALUE;

    HANDLE found = INVALID_HANDLE_VALUE;
    SP_DEVICE_INTERFACE_DATA entry;
    entry.cbSize = sizeof entry;
    for (DWORD i = 0; found == INVALID_HANDLE_VALUE &&
                      SetupDiEnumDeviceInterfaces(set, nullptr, &hidClass, i, &entry);
         i++) {
        union {
            SP_DEVICE_INTERFACE_DETAIL_DATA_A detail;
            char bytes[1024];
        } path;
        path.detail.cbSize = sizeof path.detail;
        if (SetupDiGetDeviceInterfaceDetailA(set, &entry, &path.detail, sizeof path, nullptr,
                                             nullptr))
            found = OpenIfDevice(path.detail.DevicePath, vendorId, productId);
    }
    SetupDiDestroyDeviceInfoList(set);
    return found;
}

bool ReadReportLengths(HANDLE file, HidDevice *device) {
    PHIDP_PREPARSED_DATA preparsed;
    HIDP_CAPS caps;

    if (!HidD_GetPreparsedData(file, &preparsed))
        return false;
    NTSTATUS status = HidP_GetCaps(preparsed, &caps);
    HidD_FreePreparsedData(preparsed);
    if (status != HIDP_STATUS_SUCCESS)
        return false;
    device->inputLength = caps.InputReportByteLength;
    device->outputLength = caps.OutputReportByteLength;
    return true;
}

// One overlapped transfer, waited for. Reads wait without a limit; a write
// that the stack never completes is given up after a second, so that it
// cannot hold the program for ever. Bytes moved, or -1.
int Transfer(HANDLE file, bool write, void *buffer, DWORD length, DWORD limitMs) {
    OVERLAPPED transfer = {};
    transfer.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (!transfer.hEvent)
        return -1;

    BOOL started = write ? WriteFile(file, buffer, length, nullptr, &transfer)
                         : ReadFile(file, buffer, length, nullptr, &transfer);
    DWORD done = 0;
    BOOL ok = FALSE;
    if (started || GetLastError() == ERROR_IO_PENDING) {
        if (WaitForSingleObject(transfer.hEvent, limitMs) != WAIT_OBJECT_0)
            CancelIoEx(file, &transfer);
        // Returns once the transfer is over, cancelled or not, so the system
        // is done with the buffer and the OVERLAPPED.
        ok = GetOverlappedResult(file, &transfer, &done, TRUE);
    }
    DWORD error = GetLastError();
    CloseHandle(transfer.hEvent);
    SetLastError(error);
    return ok ? static_cast<int>(done) : -1;
}

int WriteOneWay(HidDevice *device, int way, const unsigned char *report, int length) {
    SetLastError(ERROR_SUCCESS);
    // The padded ways send the report followed by zeros up to the device's
    // full output length.
    unsigned char padded[256] = {};
    int full = device->outputLength;
    if (way != WriteOwnLength && (full < length || full > static_cast<int>(sizeof padded)))
        return -1;
    std::memcpy(padded, report, static_cast<size_t>(length));

    switch (way) {
    case WriteOwnLength:
        return Transfer(device->file, true, padded, static_cast<DWORD>(length), 1000);
    case WritePadded:
        return Transfer(device->file, true, padded, static_cast<DWORD>(full), 1000);
    default:
        // The newer remote takes no output reports on the control channel.
        if (device->productId == 0x0330)
            return -1;
        return HidD_SetOutputReport(device->file, padded, static_cast<ULONG>(full)) ? full : -1;
    }
}

} // namespace

int OpenHidHandle(int vendorId, int productId) {
    int handle = 0;
    while (handle < deviceCount && devices[handle].open)
        handle++;
    if (handle == deviceCount)
        return -1;

    HANDLE file = FindDevice(vendorId, productId);
    // The newer model of the same remote answers to another product id.
    if (file == INVALID_HANDLE_VALUE && vendorId == 0x057E && productId == 0x0306) {
        productId = 0x0330;
        file = FindDevice(vendorId, productId);
    }
    if (file == INVALID_HANDLE_VALUE)
        return -1;

    HidDevice *device = &devices[handle];
    if (!ReadReportLengths(file, device)) {
        std::fprintf(stderr, "tiny_hid_dll: the remote %04x:%04x does not describe its reports.\n",
                     vendorId, productId);
        CloseHandle(file);
        return -1;
    }
    device->file = file;
    device->productId = productId;
    device->writeWay = WriteOwnLength;
    device->gone = false;
    device->open = true;
    return handle;
}

// The way that worked last goes first, then the others in their order; the
// first to work is remembered for the next report.
int WriteReport(int handle, unsigned char *report, unsigned int *) {
    HidDevice *device = DeviceFor(handle);
    if (!device || device->gone)
        return -1;

    static const int order[WriteWays][WriteWays] = {
        {WriteOwnLength, WritePadded, WriteSetOutputReport},
        {WritePadded, WriteOwnLength, WriteSetOutputReport},
        {WriteSetOutputReport, WriteOwnLength, WritePadded},
    };
    int length = OutputReportLength(report[0]);
    for (int way : order[device->writeWay]) {
        int sent = WriteOneWay(device, way, report, length);
        if (sent >= 0) {
            device->writeWay = way;
            return sent;
        }
        if (GetLastError() == ERROR_DEVICE_NOT_CONNECTED) {
            device->gone = true;
            return -1;
        }
    }
    return -1;
}

// Any failed read means the remote can no longer be read from (it went out
// of range, was switched off or unpaired); trying again would only spin.
int ReadReport(int handle, unsigned char *report, unsigned int *) {
    HidDevice *device = DeviceFor(handle);
    if (!device || device->gone)
        return -1;

    DWORD length = static_cast<DWORD>(device->inputLength < 256 ? device->inputLength : 256);
    int got = Transfer(device->file, false, report, length, INFINITE);
    if (got < 0)
        device->gone = true;
    return got;
}

void CloseHidHandle(int handle) {
    HidDevice *device = DeviceFor(handle);
    if (!device)
        return;
    CloseHandle(device->file);
    device->open = false;
}
