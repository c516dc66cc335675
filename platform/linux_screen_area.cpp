#include "platform/linux_screen_area.h"

#include <cstdint>
#include <cstdio>

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
