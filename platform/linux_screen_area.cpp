// The area the cursor can reach, worked out from what a DRM connector or a
// Wayland session says; the session is asked in linux_wayland.cpp.
#include "platform/linux_screen_area.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>

bool ParseModeSize(const char *text, int *width, int *height) {
    int w, h;

    if (std::sscanf(text, "%9dx%9d", &w, &h) != 2 || w <= 0 || h <= 0)
        return false;
    *width = w;
    *height = h;
    return true;
}

bool BoundingArea(const OutputArea *outputs, int count, OutputArea *box) {
    int64_t left = 0, top = 0, right = 0, bottom = 0;
    bool any = false;

    for (int i = 0; i < count; i++) {
        const OutputArea &o = outputs[i];
        if (o.width <= 0 || o.height <= 0)
            continue;
        int64_t r = int64_t{o.x} + o.width, b = int64_t{o.y} + o.height;
        left = any && left < o.x ? left : o.x;
        top = any && top < o.y ? top : o.y;
        right = any && right > r ? right : r;
        bottom = any && bottom > b ? bottom : b;
        any = true;
    }
    if (!any || right - left > INT32_MAX || bottom - top > INT32_MAX)
        return false;
    *box = {static_cast<int>(left), static_cast<int>(top), static_cast<int>(right - left),
            static_cast<int>(bottom - top)};
    return true;
}

static bool ReadFirstLine(const char *path, char *line, int room) {
    FILE *f = std::fopen(path, "r");
    if (!f)
        return false;
    bool got = std::fgets(line, room, f) != nullptr;
    std::fclose(f);
    return got;
}

static bool ConnectorSize(const char *drmDir, const char *name, int *width, int *height) {
    char path[512], line[64];

    std::snprintf(path, sizeof path, "%s/%s/status", drmDir, name);
    if (!ReadFirstLine(path, line, sizeof line) || std::strncmp(line, "connected", 9) != 0)
        return false;
    std::snprintf(path, sizeof path, "%s/%s/modes", drmDir, name);
    return ReadFirstLine(path, line, sizeof line) && ParseModeSize(line, width, height);
}

// Connectors are named card<N>-<kind>-<M>; they are tried in name order so
// that the same screen is chosen on every run.
bool ReadScreenSize(const char *drmDir, int *width, int *height) {
    dirent **names;
    int count = scandir(drmDir, &names, nullptr, alphasort);
    bool found = false;

    *width = 1920;
    *height = 1080;
    for (int i = 0; i < count; i++) {
        if (!found && std::strchr(names[i]->d_name, '-'))
            found = ConnectorSize(drmDir, names[i]->d_name, width, height);
        free(names[i]);
    }
    if (count >= 0)
        free(names);
    return found;
}
