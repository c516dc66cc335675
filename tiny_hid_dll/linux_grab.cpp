// While the program has the remote, the key devices that the kernel's own
// driver for it made are held with EVIOCGRAB: the remote's buttons are then
// the program's mouse only, not also key presses of the system. They are
// the input devices under the same HID device as the hidraw node. A device
// that also reports axes (accelerometer, camera, an extension) is left
// alone: opening it makes the driver switch the remote to a reporting mode
// that carries its data.
//
// A hold lasts while its descriptor is open: closing it, or the process
// ending in any way, lets go.
#include "tiny_hid_dll/linux_grab.h"

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

// One line for the first device that cannot be held: closed to this user
// (the udev rule grants it), or held by another program.
static void TellHoldFailure(const char *node, int error, bool *told) {
    if (*told)
        return;
    *told = true;
    if (error == EACCES || error == EPERM)
        std::fprintf(stderr,
                     "lumadrifter: %s, the remote's key device: %s. Its buttons also reach "
                     "the system as keys; install the udev rule 70-lumadrifter.rules (see "
                     "README) and reconnect the remote.\n",
                     node, std::strerror(error));
    else
        std::fprintf(stderr,
                     "lumadrifter: %s, the remote's key device: %s. Its buttons also reach "
                     "the system as keys.\n",
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

int HoldRemoteKeyDevices(const char *hidrawPath, int held[MaxHeldDevices]) {
    const char *name = std::strrchr(hidrawPath, '/');
    char inputs[256], input[512], node[300];
    int count = 0;
    bool told = false;

    std::snprintf(inputs, sizeof inputs, "/sys/class/hidraw/%s/device/input",
                  name ? name + 1 : hidrawPath);
    DIR *dir = opendir(inputs);
    if (!dir) // no driver made input devices of it: nothing to hold
        return 0;
    while (dirent *entry = readdir(dir)) {
        if (std::strncmp(entry->d_name, "input", 5) != 0 || count == MaxHeldDevices)
            continue;
        std::snprintf(input, sizeof input, "%s/%s", inputs, entry->d_name);
        if (!HasCapability(input, "key") || HasCapability(input, "abs") ||
            !EventNode(input, node, sizeof node))
            continue;
        int fd = Hold(node, &told);
        if (fd != -1)
            held[count++] = fd;
    }
    closedir(dir);
    return count;
}

void ReleaseRemoteKeyDevices(const int held[MaxHeldDevices], int count) {
    for (int i = 0; i < count; i++) {
        ioctl(held[i], EVIOCGRAB, 0);
        close(held[i]);
    }
}
