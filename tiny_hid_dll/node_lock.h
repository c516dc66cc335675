// One program a remote: while a program has the remote's node open it holds
// a write lock over the whole node (an advisory record lock, fcntl
// F_SETLK). Record locks belong to the process, so the program's own
// threads share the node freely; another process is refused and told which
// process holds it (F_GETLK names it; flock could not). The lock goes when
// the node is closed or the holder ends, however it ends.
#pragma once

#include <cerrno>
#include <cstdio>
#include <fcntl.h>

// True when this process now holds the node (or the node takes no locks at
// all: nothing to guard with then). False, after one line on stderr naming
// the holder, when another process has it.
inline bool LockRemoteNode(int fd, const char *path) {
    for (int attempt = 0; attempt < 3; attempt++) {
        struct flock whole = {};
        whole.l_type = F_WRLCK;
        whole.l_whence = SEEK_SET;
        if (fcntl(fd, F_SETLK, &whole) == 0)
            return true;
        if (errno != EACCES && errno != EAGAIN)
            return true;
        // Who has it; if the holder let go in between, try again.
        if (fcntl(fd, F_GETLK, &whole) == 0 && whole.l_type != F_UNLCK) {
            std::fprintf(stderr, "tiny_hid_dll: %s: the remote is in use by process %d.\n", path,
                         static_cast<int>(whole.l_pid));
            return false;
        }
    }
    std::fprintf(stderr, "tiny_hid_dll: %s: the remote is in use by another process.\n", path);
    return false;
}
