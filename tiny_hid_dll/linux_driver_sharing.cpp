// Sharing the remote with the kernel's own driver for it.
//
// The driver turns the remote's buttons into key presses of an input device
// of its own. While the program has the remote those devices are held with
// EVIOCGRAB, so the buttons are the program's mouse only. They are the input
// devices under the same HID device as the hidraw node. A device that also
// reports axes (accelerometer, camera, an extension) is left alone: opening
// it makes the driver switch the remote to a reporting mode for its data. A
// hold lasts while its descriptor is open: closing it, or the process ending
// in any way, lets go.
//
// The driver also chooses a reporting mode of its own whenever a status
// report comes, as the program does; which of the two reaches the remote
// last is a matter of scheduling. So while a driver is there, a data report
// of another mode than the program's makes the program's mode go out again.
#include "tiny_hid_dll/linux_driver_sharing.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <linux/input.h>
#include <sys/ioctl.h>
#include <unistd.h>

// A capability mask as sysfs writes it: "0" when the device has none.
static bool HasCapability(const char *inputDir, const char *kind) {
    char path[512], mask[256] = "";
    std::snprintf(path, sizeof path, "%s/capabilities/%s", inputDir, kind);
    FILE *f = std::fopen(path, "r");
    if (!f)
        return false;
    bool read = std::fgets(mask, sizeof mask, f) != nullptr;
    std::fclose(f);
    return read && std::strcmp(mask, "0\n") != 0;
}

// The eventN node of an input device, from the entry of that name inside it.
static bool EventNode(const char *inputDir, char *node, int room) {
    DIR *dir = opendir(inputDir);
    bool found = false;
    if (!dir)
        return false;
    while (dirent *entry = readdir(dir)) {
        if (!found && std::strncmp(entry->d_name, "event", 5) == 0) {
            std::snprintf(node, room, "/dev/input/%s", entry->d_name);
            found = true;
        }
    }
    closedir(dir);
    return found;
}

// One line for the first device that cannot be held, closed to this user
// or held by another program: which device, why, and what follows from it.
static void TellHoldFailure(const char *node, int error, bool *told) {
    if (*told)
        return;
    *told = true;
    std::fprintf(stderr,
                 "tiny_hid_dll: %s, the remote's key device: %s. Its buttons also reach the "
                 "system as keys.\n",
                 node, std::strerror(error));
}

static int Hold(const char *node, bool *told) {
    int fd = open(node, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd == -1) {
        TellHoldFailure(node, errno, told);
        return -1;
    }
    if (ioctl(fd, EVIOCGRAB, 1) != 0) {
        TellHoldFailure(node, errno, told);
        close(fd);
        return -1;
    }
    return fd;
}

void StartSharing(const char *hidrawPath, SharedRemote *shared) {
    const char *name = std::strrchr(hidrawPath, '/');
    char inputs[256], input[512], node[300];
    bool told = false;

    shared->withDriver = false;
    shared->heldCount = 0;
    shared->mode = 0;
    std::snprintf(inputs, sizeof inputs, "/sys/class/hidraw/%s/device/input",
                  name ? name + 1 : hidrawPath);
    DIR *dir = opendir(inputs);
    if (!dir) // no driver made input devices of it
        return;
    while (dirent *entry = readdir(dir)) {
        if (std::strncmp(entry->d_name, "input", 5) != 0)
            continue;
        shared->withDriver = true;
        std::snprintf(input, sizeof input, "%s/%s", inputs, entry->d_name);
        if (shared->heldCount == MaxHeldDevices || !HasCapability(input, "key") ||
            HasCapability(input, "abs") || !EventNode(input, node, sizeof node))
            continue;
        int fd = Hold(node, &told);
        if (fd != -1)
            shared->held[shared->heldCount++] = fd;
    }
    closedir(dir);
}

void StopSharing(SharedRemote *shared) {
    for (int i = 0; i < shared->heldCount; i++) {
        ioctl(shared->held[i], EVIOCGRAB, 0);
        close(shared->held[i]);
    }
    shared->heldCount = 0;
}

// Output report 0x12: [1] flags  [2] mode.
void NoteOutputReport(SharedRemote *shared, const unsigned char *report) {
    if (report[0] == 0x12)
        shared->mode = static_cast<uint16_t>(report[1] << 8 | report[2]);
}

// Data reports are 0x30 to 0x3F; status (0x20), memory data (0x21) and
// acknowledgements (0x22) say nothing of the mode.
bool ModeTakenAway(const SharedRemote *shared, const unsigned char *report, int length,
                   unsigned char again[3]) {
    uint16_t mode = shared->mode;
    if (!shared->withDriver || mode == 0 || length < 1 || (report[0] & 0xF0) != 0x30 ||
        report[0] == (mode & 0xFF))
        return false;
    again[0] = 0x12;
    again[1] = static_cast<unsigned char>(mode >> 8);
    again[2] = static_cast<unsigned char>(mode);
    return true;
}
