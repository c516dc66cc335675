// The area the cursor can reach: a DRM connector's mode, or the box around
// a Wayland session's outputs.
#pragma once

// "1920x1080" (the first line of a DRM connector's modes file, perhaps with a
// suffix such as "i") to its size; false when it is no size.
bool ParseModeSize(const char *text, int *width, int *height);

// An output's place in a Wayland session's layout, in logical pixels.
struct OutputArea {
    int x, y, width, height;
};

// The smallest area that holds every output with a size (outputs may sit at
// negative positions); false when there is none.
bool BoundingArea(const OutputArea *outputs, int count, OutputArea *box);
