// Inside the Linux HID library: the pieces its tests reach without a remote.
#pragma once

// Takes an open hidraw node (or anything read and written a report at a
// time) as a handle of the four calls; -1 when all handles are in use.
int AdoptHidNode(int fd);
