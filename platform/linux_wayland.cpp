// The output layout of a Wayland session, asked once at start as an
// ordinary client: every output's logical position and size (xdg-output),
// so that the virtual pointer's axes span the box the compositor maps an
// absolute device onto, one unit a logical pixel.
//
// The compositor may be gone, stopped or slow: every wait is bounded, and
// whatever goes wrong leaves the caller to its fallback.
#include "platform/linux_screen_area.h"

#include "xdg-output-unstable-v1-client-protocol.h"
#include <wayland-client.h>

#include <cerrno>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <poll.h>
#include <unistd.h>

namespace {

constexpr int MaxOutputs = 16;
constexpr int WaitMs = 1000; // for each round trip

struct Layout {
    zxdg_output_manager_v1 *manager;
    wl_output *outputs[MaxOutputs];
    zxdg_output_v1 *logical[MaxOutputs];
    OutputArea areas[MaxOutputs];
    int count;
};

void Global(void *data, wl_registry *registry, uint32_t name, const char *interface,
            uint32_t version) {
    Layout *layout = static_cast<Layout *>(data);

    if (std::strcmp(interface, wl_output_interface.name) == 0 && layout->count < MaxOutputs) {
        void *output = wl_registry_bind(registry, name, &wl_output_interface, 1);
        layout->outputs[layout->count++] = static_cast<wl_output *>(output);
    }
    if (std::strcmp(interface, zxdg_output_manager_v1_interface.name) == 0 && !layout->manager) {
        void *manager = wl_registry_bind(registry, name, &zxdg_output_manager_v1_interface,
                                         version < 3 ? version : 3);
        layout->manager = static_cast<zxdg_output_manager_v1 *>(manager);
    }
}

void GlobalRemove(void *, wl_registry *, uint32_t) {}

const wl_registry_listener RegistryListener = {Global, GlobalRemove};

void LogicalPosition(void *data, zxdg_output_v1 *, int32_t x, int32_t y) {
    OutputArea *area = static_cast<OutputArea *>(data);
    area->x = x;
    area->y = y;
}

void LogicalSize(void *data, zxdg_output_v1 *, int32_t width, int32_t height) {
    OutputArea *area = static_cast<OutputArea *>(data);
    area->width = width;
    area->height = height;
}

void Done(void *, zxdg_output_v1 *) {}
void Name(void *, zxdg_output_v1 *, const char *) {}
void Description(void *, zxdg_output_v1 *, const char *) {}

const zxdg_output_v1_listener OutputListener = {LogicalPosition, LogicalSize, Done, Name,
                                                Description};

void Synced(void *data, wl_callback *, uint32_t) {
    *static_cast<bool *>(data) = true;
}

const wl_callback_listener SyncListener = {Synced};

using Clock = std::chrono::steady_clock;

// Reads and dispatches events until synced is set; false when the
// connection fails or the deadline passes first.
bool DispatchUntil(wl_display *display, const bool *synced, Clock::time_point deadline) {
    while (!*synced) {
        if (wl_display_prepare_read(display) != 0) {
            if (wl_display_dispatch_pending(display) < 0)
                return false;
            continue;
        }
        if (wl_display_flush(display) < 0 && errno != EAGAIN) {
            wl_display_cancel_read(display);
            return false;
        }
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        pollfd ready = {wl_display_get_fd(display), POLLIN, 0};
        int n = left.count() > 0 ? poll(&ready, 1, static_cast<int>(left.count())) : 0;
        if (n < 0 && errno == EINTR) {
            wl_display_cancel_read(display);
            continue;
        }
        if (n <= 0) {
            wl_display_cancel_read(display);
            return false;
        }
        if (wl_display_read_events(display) < 0 || wl_display_dispatch_pending(display) < 0)
            return false;
    }
    return true;
}

// wl_display_roundtrip, but giving up after limitMs: the compositor answers
// every request sent before the sync once the sync's callback comes.
bool Roundtrip(wl_display *display, int limitMs) {
    bool synced = false;
    wl_callback *callback = wl_display_sync(display);

    wl_callback_add_listener(callback, &SyncListener, &synced);
    bool done = DispatchUntil(display, &synced, Clock::now() + std::chrono::milliseconds(limitMs));
    wl_callback_destroy(callback);
    return done;
}

// WAYLAND_DISPLAY as the session gives it. Without it (sudo drops it, and
// XDG_RUNTIME_DIR too) the first socket that answers among wayland-0 to
// wayland-9 (sway starts at wayland-1) in the runtime folder, or in that of
// the user who called sudo or pkexec.
wl_display *Connect() {
    const char *name = std::getenv("WAYLAND_DISPLAY");
    const char *runtime = std::getenv("XDG_RUNTIME_DIR");
    const char *sudoUid = std::getenv("SUDO_UID");
    const char *pkexecUid = std::getenv("PKEXEC_UID");
    char dir[128], path[160];

    if (name && *name)
        return wl_display_connect(nullptr);
    if (runtime && *runtime)
        std::snprintf(dir, sizeof dir, "%s", runtime);
    else if (sudoUid && *sudoUid)
        std::snprintf(dir, sizeof dir, "/run/user/%s", sudoUid);
    else if (pkexecUid && *pkexecUid)
        std::snprintf(dir, sizeof dir, "/run/user/%s", pkexecUid);
    else
        return nullptr;
    for (int n = 0; n < 10; n++) {
        std::snprintf(path, sizeof path, "%s/wayland-%d", dir, n);
        wl_display *display = access(path, F_OK) == 0 ? wl_display_connect(path) : nullptr;
        if (display)
            return display;
    }
    return nullptr;
}

// libwayland's own complaints (no XDG_RUNTIME_DIR, say) would go to stderr;
// a session that cannot be asked just leaves the fallback.
void Quiet(const char *, va_list) {}

} // namespace

bool ReadWaylandLayout(OutputArea *box) {
    Layout layout = {};
    bool read = false;

    wl_log_set_handler_client(Quiet);
    wl_display *display = Connect();
    if (!display)
        return false;
    wl_registry *registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &RegistryListener, &layout);
    if (Roundtrip(display, WaitMs) && layout.manager) {
        for (int i = 0; i < layout.count; i++) {
            layout.logical[i] =
                zxdg_output_manager_v1_get_xdg_output(layout.manager, layout.outputs[i]);
            zxdg_output_v1_add_listener(layout.logical[i], &OutputListener, &layout.areas[i]);
        }
        read = Roundtrip(display, WaitMs) && BoundingArea(layout.areas, layout.count, box);
    }
    // The compositor drops what was made on the connection when it closes;
    // the client's records of it go first.
    for (int i = 0; i < layout.count; i++) {
        if (layout.logical[i])
            zxdg_output_v1_destroy(layout.logical[i]);
        wl_output_destroy(layout.outputs[i]);
    }
    if (layout.manager)
        zxdg_output_manager_v1_destroy(layout.manager);
    wl_registry_destroy(registry);
    wl_display_disconnect(display);
    return read;
}
