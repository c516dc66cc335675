#include "tools/virtual-remote/device.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <linux/uhid.h>
#include <unistd.h>

// One report: Report ID, Report Count (the bytes after the id), Usage (1),
// then the main item, Output (0x91) or Input (0x81), as Data,Var,Abs.
static int AddReport(uint8_t *out, uint8_t id, int length, uint8_t mainItem) {
    const uint8_t item[] = {0x85, id,   0x95,     static_cast<uint8_t>(length - 1),
                            0x09, 0x01, mainItem, 0x02};
    std::memcpy(out, item, sizeof item);
    return sizeof item;
}

// Every report a remote has, at its real length, each byte a vendor-defined
// field of 8 bits. The collection is vendor-defined too, so a generic driver
// makes no input device of it, only the raw node.
static int BuildDescriptor(uint8_t *out) {
    static const uint8_t head[] = {
        0x06, 0x00, 0xFF, // Usage Page (vendor-defined)
        0x09, 0x01,       // Usage (1)
        0xA1, 0x01,       // Collection (Application)
        0x15, 0x00,       //   Logical Minimum (0)
        0x26, 0xFF, 0x00, //   Logical Maximum (255)
        0x75, 0x08,       //   Report Size (8)
    };
    int n = sizeof head;
    std::memcpy(out, head, sizeof head);
    for (int id = 0x10; id <= 0x1A; id++)
        n += AddReport(out + n, static_cast<uint8_t>(id), OutputReportLength(id), 0x91);
    for (int id = 0x20; id <= 0x3F; id++)
        if (InputReportLength(static_cast<uint8_t>(id)))
            n += AddReport(out + n, static_cast<uint8_t>(id), InputReportLength(id), 0x81);
    out[n++] = 0xC0; // End Collection
    return n;
}

static bool WriteEvent(int device, const uhid_event &event) {
    return write(device, &event, sizeof event) == static_cast<ssize_t>(sizeof event);
}

int CreateRemoteDevice(int product) {
    int device = open("/dev/uhid", O_RDWR | O_CLOEXEC);
    if (device < 0) {
        int error = errno;
        std::fprintf(stderr,
                     "virtual-remote: cannot open /dev/uhid: %s; load the uhid module "
                     "(modprobe uhid) and run as root or with write access to it\n",
                     std::strerror(error));
        return -1;
    }

    static uhid_event event;
    std::memset(&event, 0, sizeof event);
    event.type = UHID_CREATE2;
    uhid_create2_req &create = event.u.create2;
    std::snprintf(reinterpret_cast<char *>(create.name), sizeof create.name,
                  "Lumadrifter virtual remote");
    std::snprintf(reinterpret_cast<char *>(create.phys), sizeof create.phys, "virtual-remote");
    std::snprintf(reinterpret_cast<char *>(create.uniq), sizeof create.uniq, "02:00:00:00:00:01");
    create.rd_size = static_cast<uint16_t>(BuildDescriptor(create.rd_data));
    create.bus = BUS_BLUETOOTH;
    create.vendor = 0x057E;
    create.product = static_cast<uint32_t>(product);
    if (!WriteEvent(device, event)) {
        int error = errno;
        std::fprintf(stderr, "virtual-remote: the kernel refused the device: %s\n",
                     std::strerror(error));
        close(device);
        return -1;
    }
    return device;
}

void DestroyRemoteDevice(int device) {
    uhid_event event{};
    event.type = UHID_DESTROY;
    WriteEvent(device, event);
    close(device);
}

bool SendInputReport(int device, const InputReport &report) {
    uhid_event event{};
    event.type = UHID_INPUT2;
    event.u.input2.size = static_cast<uint16_t>(report.length);
    std::memcpy(event.u.input2.data, report.bytes, static_cast<size_t>(report.length));
    return WriteEvent(device, event);
}

// Feature reports and reads of reports are not part of the remote's
// protocol: refused, as the real one does over Bluetooth.
static void AnswerRequest(int device, const uhid_event &request, DeviceEvent *event) {
    uhid_event reply{};
    if (request.type == UHID_GET_REPORT) {
        reply.type = UHID_GET_REPORT_REPLY;
        reply.u.get_report_reply.id = request.u.get_report.id;
        reply.u.get_report_reply.err = EIO;
    } else {
        const uhid_set_report_req &set = request.u.set_report;
        bool output = set.rtype == UHID_OUTPUT_REPORT && set.size > 0 && set.size <= 256;
        reply.type = UHID_SET_REPORT_REPLY;
        reply.u.set_report_reply.id = set.id;
        reply.u.set_report_reply.err = output ? 0 : EIO;
        if (output) {
            event->kind = DeviceEvent::Output;
            event->length = set.size;
            std::memcpy(event->report, set.data, set.size);
        }
    }
    WriteEvent(device, reply);
}

bool ReadDeviceEvent(int device, DeviceEvent *event) {
    static uhid_event in;
    event->kind = DeviceEvent::Other;
    event->length = 0;
    ssize_t n = read(device, &in, sizeof in);
    if (n <= 0)
        return n < 0 && (errno == EINTR || errno == EAGAIN);

    switch (in.type) {
    case UHID_START:
        event->kind = DeviceEvent::Start;
        break;
    case UHID_STOP:
        event->kind = DeviceEvent::Stop;
        break;
    case UHID_OPEN:
        event->kind = DeviceEvent::Open;
        break;
    case UHID_CLOSE:
        event->kind = DeviceEvent::Close;
        break;
    case UHID_OUTPUT:
        if (in.u.output.rtype != UHID_OUTPUT_REPORT || in.u.output.size > 256)
            break;
        event->kind = DeviceEvent::Output;
        event->length = in.u.output.size;
        std::memcpy(event->report, in.u.output.data, in.u.output.size);
        break;
    case UHID_GET_REPORT:
    case UHID_SET_REPORT:
        AnswerRequest(device, in, event);
        break;
    }
    return true;
}
