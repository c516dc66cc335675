// The output layout of a Wayland session, as an ordinary client sees it:
// every output's logical position and size (xdg-output), so that the
// virtual pointer's axes span the box the compositor maps an absolute
// device onto, one unit a logical pixel.
//
// The connection made at start stays open, so that outputs added, removed,
// moved, resized or rescaled are heard of while the program runs. The
// compositor may be gone, stopped or slow: the wait at start is bounded,
// and whatever goes wrong there leaves the caller to its fallback while the
// listening goes on.
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
#include <sys/eventfd.h>
#include <unistd.h>

namespace {

constexpr int MaxOutputs = 16;
constexpr int WaitMs = 1000; // for each round trip at start

// One wl_output global. An output's xdg-output events describe it a piece
// at a time; its done event (xdg-output's before version 3, wl_output's
// from then on) says the description is whole.
struct Output {
    uint32_t name; // the registry's; 0 for a free slot
    wl_output *output;
    zxdg_output_v1 *logical;
    OutputArea pending, area; // being described; as last said done
};

// The connection and what it has heard, for one thread at a time: the
// starting one, then the listening one.
struct Session {
    wl_display *display;
    wl_registry *registry;
    zxdg_output_manager_v1 *manager;
    uint32_t managerVersion;
    Output outputs[MaxOutputs];
    bool changed; // an output said done or went since the box was last looked at
    bool given;   // the box last given: at start or by NextWaylandLayout
    OutputArea box;
};

Session session;
// Ends the listening when written to; made once and kept, so that a stop
// from another thread never writes to a closed descriptor.
int wake = -1;

void Forget(Output *o) {
    if (o->logical)
        zxdg_output_v1_destroy(o->logical);
    wl_output_destroy(o->output);
    *o = Output{};
}

void Geometry(void *, wl_output *, int32_t, int32_t, int32_t, int32_t, int32_t, const char *,
              const char *, int32_t) {}
void Mode(void *, wl_output *, uint32_t, int32_t, int32_t, int32_t) {}
void Scale(void *, wl_output *, int32_t) {}
void OutputName(void *, wl_output *, const char *) {}
void OutputDescription(void *, wl_output *, const char *) {}

void Whole(Output *o) {
    o->area = o->pending;
    session.changed = true;
}

void OutputDone(void *data, wl_output *) {
    Whole(static_cast<Output *>(data));
}

const wl_output_listener WlOutputListener = {Geometry, Mode,       OutputDone,
                                             Scale,    OutputName, OutputDescription};

void LogicalPosition(void *data, zxdg_output_v1 *, int32_t x, int32_t y) {
    Output *o = static_cast<Output *>(data);
    o->pending.x = x;
    o->pending.y = y;
}

void LogicalSize(void *data, zxdg_output_v1 *, int32_t width, int32_t height) {
    Output *o = static_cast<Output *>(data);
    o->pending.width = width;
    o->pending.height = height;
}

void LogicalDone(void *data, zxdg_output_v1 *) {
    Whole(static_cast<Output *>(data));
}

void Name(void *, zxdg_output_v1 *, const char *) {}
void Description(void *, zxdg_output_v1 *, const char *) {}

const zxdg_output_v1_listener OutputListener = {LogicalPosition, LogicalSize, LogicalDone, Name,
                                                Description};

void Describe(Output *o) {
    if (!session.manager || o->logical)
        return;
    o->logical = zxdg_output_manager_v1_get_xdg_output(session.manager, o->output);
    zxdg_output_v1_add_listener(o->logical, &OutputListener, o);
}

void Global(void *, wl_registry *registry, uint32_t name, const char *interface, uint32_t version) {
    if (std::strcmp(interface, wl_output_interface.name) == 0) {
        for (Output &o : session.outputs) {
            if (o.name != 0)
                continue;
            void *output =
                wl_registry_bind(registry, name, &wl_output_interface, version < 2 ? version : 2);
            o.name = name;
            o.output = static_cast<wl_output *>(output);
            wl_output_add_listener(o.output, &WlOutputListener, &o);
            Describe(&o);
            break;
        }
    }
    if (std::strcmp(interface, zxdg_output_manager_v1_interface.name) == 0 && !session.manager) {
        session.managerVersion = version < 3 ? version : 3;
        void *manager = wl_registry_bind(registry, name, &zxdg_output_manager_v1_interface,
                                         session.managerVersion);
        session.manager = static_cast<zxdg_output_manager_v1 *>(manager);
        for (Output &o : session.outputs)
            if (o.name != 0)
                Describe(&o);
    }
}

void GlobalRemove(void *, wl_registry *, uint32_t name) {
    for (Output &o : session.outputs)
        if (o.name == name) {
            Forget(&o);
            session.changed = true;
        }
}

const wl_registry_listener RegistryListener = {Global, GlobalRemove};

void Synced(void *data, wl_callback *, uint32_t) {
    *static_cast<bool *>(data) = true;
}

const wl_callback_listener SyncListener = {Synced};

enum Read { Events, Nothing, Ended };

// Reads what the compositor has sent within limitMs (-1: however long it
// takes) and dispatches it: Nothing when the time passed first, Ended when
// the connection failed or the wake was written to.
Read ReadOnce(wl_display *display, int limitMs) {
    while (wl_display_prepare_read(display) != 0)
        if (wl_display_dispatch_pending(display) < 0)
            return Ended;
    if (wl_display_flush(display) < 0 && errno != EAGAIN) {
        wl_display_cancel_read(display);
        return Ended;
    }
    pollfd ready[2] = {{wl_display_get_fd(display), POLLIN, 0}, {wake, POLLIN, 0}};
    int n = poll(ready, 2, limitMs);
    if (n <= 0 || ready[1].revents != 0) {
        wl_display_cancel_read(display);
        bool over = (n < 0 && errno != EINTR) || (n > 0 && ready[1].revents != 0);
        return over ? Ended : Nothing;
    }
    if (wl_display_read_events(display) < 0 || wl_display_dispatch_pending(display) < 0)
        return Ended;
    return Events;
}

using Clock = std::chrono::steady_clock;

// wl_display_roundtrip, but giving up after limitMs: the compositor answers
// every request sent before the sync once the sync's callback comes.
bool Roundtrip(wl_display *display, int limitMs) {
    bool synced = false;
    wl_callback *callback = wl_display_sync(display);
    auto deadline = Clock::now() + std::chrono::milliseconds(limitMs);

    wl_callback_add_listener(callback, &SyncListener, &synced);
    while (!synced) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0 || ReadOnce(display, static_cast<int>(left.count())) == Ended)
            break;
    }
    wl_callback_destroy(callback);
    return synced;
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

// The box of the outputs described whole; false when it is the one given
// last, or there is none.
bool NewBox(OutputArea *box) {
    OutputArea areas[MaxOutputs];
    int count = 0;

    session.changed = false;
    for (const Output &o : session.outputs)
        if (o.name != 0)
            areas[count++] = o.area;
    if (!BoundingArea(areas, count, box))
        return false;
    if (session.given && std::memcmp(box, &session.box, sizeof *box) == 0)
        return false;
    session.given = true;
    session.box = *box;
    return true;
}

} // namespace

// The compositor drops what was made on the connection when it closes; the
// client's records of it go first.
void CloseWaylandLayout() {
    if (!session.display)
        return;
    for (Output &o : session.outputs)
        if (o.name != 0)
            Forget(&o);
    if (session.manager)
        zxdg_output_manager_v1_destroy(session.manager);
    wl_registry_destroy(session.registry);
    wl_display_disconnect(session.display);
    session = Session{};
}

bool ReadWaylandLayout(OutputArea *box, const char **why) {
    const char *failure = nullptr;

    uint64_t stops;

    CloseWaylandLayout();
    if (wake < 0)
        wake = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    else if (read(wake, &stops, sizeof stops) < 0)
        stops = 0; // none: a stop belongs to the listening it ended
    wl_log_set_handler_client(Quiet);
    session.display = Connect();
    if (!session.display) {
        failure = "no Wayland socket found";
    } else {
        session.registry = wl_display_get_registry(session.display);
        wl_registry_add_listener(session.registry, &RegistryListener, nullptr);
        // The first round trip brings the globals (the outputs bound, and
        // their xdg-outputs asked for once the manager is known); the second
        // their descriptions.
        if (!Roundtrip(session.display, WaitMs))
            failure = "no answer within 1 s";
        else if (!session.manager)
            failure = "no xdg-output";
        else if (!Roundtrip(session.display, WaitMs))
            failure = "no answer within 1 s";
        else if (!NewBox(box))
            failure = "no outputs";
    }
    if (why)
        *why = failure;
    return failure == nullptr;
}

bool ListeningToWayland() {
    return session.display != nullptr;
}

bool NextWaylandLayout(OutputArea *box) {
    Read read = Events;

    while (session.display) {
        // What came in one go is taken whole before the box is looked at:
        // a change to several outputs is one change.
        if (read == Nothing && session.changed && NewBox(box))
            return true;
        read = ReadOnce(session.display, read == Events ? 0 : -1);
        if (read == Ended)
            CloseWaylandLayout();
    }
    return false;
}

void StopWaylandLayout() {
    uint64_t one = 1;

    if (wake >= 0 && write(wake, &one, sizeof one) < 0)
        return; // the count is full: the listening is being ended already
}
