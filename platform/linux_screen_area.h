// The area the cursor can reach: the box around a Wayland session's
// outputs, or, without a session, a DRM connector's mode.
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

// The bounding box of a Wayland session's outputs in logical pixels, asked
// of the compositor once; false without a session that answers in time.
bool ReadWaylandLayout(OutputArea *box);

// The screen's size from the DRM connectors under drmDir (/sys/class/drm):
// the first connected connector's first mode; 1920x1080 when none can be read.
void ReadScreenSize(const char *drmDir, int *width, int *height);
