// The HID library on Linux: the remote's hidraw node, found through hidapi's
// enumeration and then read and written directly.
//
// hidapi is used to find the node only. Its device handles keep an error
// text that every failing call frees and replaces without a lock, so one
// handle cannot be shared by the reader thread and the main thread; a plain
// file descriptor can.
#include "tiny_hid_dll/hidraw_node.h"
#include "tiny_hid_dll/linux_driver_sharing.h"
#include "tiny_hid_dll/node_lock.h"
#include "tiny_hid_dll/report_lengths.h"

#include "remote/tiny_hid_dll.h"

#include <hidapi.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

// The newer model of the remote has its own product id and the same reports.
constexpr int RemoteVendor = 0x057E;
constexpr int RemoteProduct = 0x0306;
constexpr int NewerRemoteProduct = 0x0330;

struct HidNode {
    int fd; // -1: slot free
    std::atomic<bool> gone;
    SharedRemote shared; // with the kernel's own driver for the remote, if bound
};

HidNode nodes[8] = {{-1, {}, {}}, {-1, {}, {}}, {-1, {}, {}}, {-1, {}, {}},
                    {-1, {}, {}}, {-1, {}, {}}, {-1, {}, {}}, {-1, {}, {}}};

HidNode *NodeFor(int handle) {
    if (handle < 0 || handle >= 8 || nodes[handle].fd < 0)
        return nullptr;
    return &nodes[handle];
}

// A node that is there but cannot be opened (closed to this user, say):
// which node, and why. What to do about it is the program's to say.
void TellOpenFailure(const char *path, int error) {
    std::fprintf(stderr, "tiny_hid_dll: %s: %s.\n", path, std::strerror(error));
}

// The first node with these ids that opens and that no other program
// drives; -1 when none does. A remote in use is passed over, so a second
// remote can still be had.
int OpenFirstNode(int vendorId, int productId) {
    hid_device_info *found = hid_enumerate(static_cast<unsigned short>(vendorId),
                                           static_cast<unsigned short>(productId));
    int handle = -1;

    for (hid_device_info *d = found; d && handle == -1; d = d->next) {
        int fd = open(d->path, O_RDWR | O_CLOEXEC);
        if (fd == -1) {
            TellOpenFailure(d->path, errno);
            continue;
        }
        if (!LockRemoteNode(fd, d->path)) {
            close(fd);
            continue;
        }
        handle = AdoptHidNode(fd);
        if (handle == -1)
            close(fd);
        else
            StartSharing(d->path, &nodes[handle].shared);
    }
    hid_free_enumeration(found);
    return handle;
}

} // namespace

int AdoptHidNode(int fd) {
    for (int i = 0; i < 8; i++) {
        if (nodes[i].fd == -1) {
            nodes[i].gone = false;
            nodes[i].fd = fd;
            nodes[i].shared.withDriver = false;
            nodes[i].shared.heldCount = 0;
            nodes[i].shared.mode = 0;
            return i;
        }
    }
    return -1;
}

extern "C" {

// The program asks for the first model; a newer remote answers to its own
// product id and is taken when the first model is not there.
int OpenHidHandle(int vendorId, int productId) {
    int handle = OpenFirstNode(vendorId, productId);

    if (handle == -1 && vendorId == RemoteVendor && productId == RemoteProduct)
        handle = OpenFirstNode(vendorId, NewerRemoteProduct);
    hid_exit();
    return handle;
}

int WriteReport(int handle, unsigned char *report, unsigned int *) {
    HidNode *node = NodeFor(handle);
    if (!node || node->gone)
        return -1;

    ssize_t sent;
    do
        sent = write(node->fd, report, static_cast<size_t>(OutputReportLength(report[0])));
    while (sent == -1 && errno == EINTR);
    if (sent > 0)
        NoteOutputReport(&node->shared, report);
    return static_cast<int>(sent);
}

// hidraw gives one whole report per read, id first. A node whose device has
// gone fails with EIO or ENODEV; from then on nothing more will come.
int ReadReport(int handle, unsigned char *report, unsigned int *) {
    HidNode *node = NodeFor(handle);
    if (!node || node->gone)
        return -1;

    ssize_t got;
    do
        got = read(node->fd, report, 256);
    while (got == -1 && errno == EINTR);
    if (got <= 0) {
        node->gone = true;
        return -1;
    }
    unsigned char again[3];
    if (ModeTakenAway(&node->shared, report, static_cast<int>(got), again)) {
        ssize_t sent;
        do
            sent = write(node->fd, again, sizeof again);
        while (sent == -1 && errno == EINTR);
    }
    return static_cast<int>(got);
}

void CloseHidHandle(int handle) {
    HidNode *node = NodeFor(handle);
    if (!node)
        return;
    StopSharing(&node->shared);
    close(node->fd);
    node->fd = -1;
}

} // extern "C"
