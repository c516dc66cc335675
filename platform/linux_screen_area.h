// The area the cursor can reach: the box around a Wayland session's
// outputs, followed as they change, or, without a session that describes
// them, a DRM connector's mode.
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
// of the compositor, waiting up to a second for each answer. false without
// a session that describes them in time; why then says what failed, for
// the user: "no Wayland socket found", "no answer within 1 s", "no
// xdg-output" or "no outputs". A connection made stays open, answered or
// not, for NextWaylandLayout; a call again starts anew.
bool ReadWaylandLayout(OutputArea *box, const char **why = nullptr);
// Whether a connection is open to be listened to.
bool ListeningToWayland();
// Waits, for as long as it takes, until the outputs' box is another than
// the one given last (at start or here), and gives it; an answer late for
// the start counts as a change. false once the session is gone or
// StopWaylandLayout was called, the connection then closed. One thread at a
// time listens; it holds the connection.
bool NextWaylandLayout(OutputArea *box);
// Makes the listening end, from any thread, at once or as soon as what it
// was given has been taken.
void StopWaylandLayout();
// Closes the connection, for its holder.
void CloseWaylandLayout();

// The screen's size from the DRM connectors under drmDir (/sys/class/drm):
// the first connected connector's first mode, and true; 1920x1080 and false
// when none can be read.
bool ReadScreenSize(const char *drmDir, int *width, int *height);
