// The connection to the compositor: the globals it offers that we bind, and
// reading its events without ever blocking the frame loop.
#include "wayland_platform.h"

#include "../posix/posix.h"

#include "fractional-scale-v1-client-protocol.h"
#include "viewporter-client-protocol.h"
#include "xdg-shell-client-protocol.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <poll.h>

namespace wayland {

State g_wayland = {};

namespace {

// The versions we were written against; a newer compositor speaks these too.
constexpr std::uint32_t kCompositorVersion = 4; // buffer scale needs 3
constexpr std::uint32_t kWmBaseVersion = 2;
constexpr std::uint32_t kSeatVersion = 5; // releasing a keyboard needs 3

template <typename T>
T *Bind(wl_registry *registry, std::uint32_t name, const wl_interface *interface,
        std::uint32_t offered, std::uint32_t wanted)
{
    // wl_registry_bind returns null only when out of memory.
    auto *bound =
        static_cast<T *>(wl_registry_bind(registry, name, interface, std::min(offered, wanted)));
    if (bound == nullptr) {
        WaylandReportError("cannot bind a Wayland global", interface->name);
    }
    return bound;
}

void OnPing(void * /*data*/, xdg_wm_base *wmBase, std::uint32_t serial)
{
    // Answering tells the compositor we are alive, not hung.
    xdg_wm_base_pong(wmBase, serial);
}

const xdg_wm_base_listener kWmBaseListener = [] {
    xdg_wm_base_listener l = {};
    l.ping = OnPing;
    return l;
}();

void OnSeatCapabilities(void * /*data*/, wl_seat * /*seat*/, std::uint32_t capabilities)
{
    WaylandSeatCapabilities(capabilities);
}

void OnSeatName(void * /*data*/, wl_seat * /*seat*/, const char * /*name*/) {}

const wl_seat_listener kSeatListener = [] {
    wl_seat_listener l = {};
    l.capabilities = OnSeatCapabilities;
    l.name = OnSeatName;
    return l;
}();

void OnGlobal(void * /*data*/, wl_registry *registry, std::uint32_t name, const char *interface,
              std::uint32_t version)
{
    Globals &g = g_wayland.globals;
    if (std::strcmp(interface, wl_compositor_interface.name) == 0 && g.compositor == nullptr) {
        g.compositor = Bind<wl_compositor>(registry, name, &wl_compositor_interface, version,
                                           kCompositorVersion);
    } else if (std::strcmp(interface, xdg_wm_base_interface.name) == 0 && g.wmBase == nullptr) {
        g.wmBase =
            Bind<xdg_wm_base>(registry, name, &xdg_wm_base_interface, version, kWmBaseVersion);
        if (g.wmBase != nullptr) {
            xdg_wm_base_add_listener(g.wmBase, &kWmBaseListener, nullptr);
        }
    } else if (std::strcmp(interface, wl_seat_interface.name) == 0 && g.seat == nullptr) {
        // One seat is the keyboard the user types on; a second is rare and
        // would be another person's.
        g.seat = Bind<wl_seat>(registry, name, &wl_seat_interface, version, kSeatVersion);
        if (g.seat != nullptr) {
            g_wayland.seatName = name;
            wl_seat_add_listener(g.seat, &kSeatListener, nullptr);
        }
    } else if (std::strcmp(interface, wl_output_interface.name) == 0) {
        WaylandAddOutput(name, version);
    } else if (std::strcmp(interface, wp_viewporter_interface.name) == 0 &&
               g.viewporter == nullptr) {
        g.viewporter = Bind<wp_viewporter>(registry, name, &wp_viewporter_interface, version, 1);
    } else if (std::strcmp(interface, wp_fractional_scale_manager_v1_interface.name) == 0 &&
               g.fractionalScale == nullptr) {
        g.fractionalScale = Bind<wp_fractional_scale_manager_v1>(
            registry, name, &wp_fractional_scale_manager_v1_interface, version, 1);
    }
}

void OnGlobalRemove(void * /*data*/, wl_registry * /*registry*/, std::uint32_t name)
{
    if (WaylandRemoveOutput(name)) {
        WaylandOutputsChanged();
        return;
    }
    Globals &g = g_wayland.globals;
    if (g.seat != nullptr && name == g_wayland.seatName) {
        WaylandReleaseKeyboard();
        wl_seat_destroy(g.seat);
        g.seat = nullptr;
    }
}

const wl_registry_listener kRegistryListener = [] {
    wl_registry_listener l = {};
    l.global = OnGlobal;
    l.global_remove = OnGlobalRemove;
    return l;
}();

// Wait until the compositor has handled everything sent so far, and we
// everything it sent back. Only for setting up.
void Roundtrip()
{
    if (wl_display_roundtrip(g_wayland.display) < 0) {
        WaylandExitLostConnection();
    }
}

} // namespace

bool WaylandConnect(char *whyNot, std::size_t whyNotSize)
{
    g_wayland.display = wl_display_connect(nullptr);
    if (g_wayland.display == nullptr) {
        const char *reason = std::strerror(errno);
        const char *name = std::getenv("WAYLAND_DISPLAY");
        if (whyNot != nullptr) {
            std::snprintf(whyNot, whyNotSize, "WAYLAND_DISPLAY is \"%.256s\" (%s)",
                          name != nullptr ? name : "", reason);
        } else {
            char what[320];
            std::snprintf(what, sizeof what, "cannot connect to the Wayland compositor \"%.256s\"",
                          name != nullptr ? name : "wayland-0");
            WaylandReportError(what, reason);
        }
        return false;
    }
    g_wayland.registry = wl_display_get_registry(g_wayland.display);
    if (g_wayland.registry == nullptr) {
        WaylandReportError("cannot read the Wayland compositor's globals");
        return true;
    }
    wl_registry_add_listener(g_wayland.registry, &kRegistryListener, nullptr);
    // The first trip brings the globals, the second what each one bound
    // says of itself: the outputs' modes and the seat's keyboard.
    Roundtrip();
    Roundtrip();
    const Globals &g = g_wayland.globals;
    if (g.compositor == nullptr || g.wmBase == nullptr) {
        WaylandReportError("the Wayland compositor offers no xdg-shell; no window can be made");
    }
    return true;
}

void WaylandFlush()
{
    // A full socket sends the rest next time.
    if (wl_display_flush(g_wayland.display) < 0 && errno != EAGAIN) {
        WaylandExitLostConnection();
    }
}

void WaylandDispatch()
{
    wl_display *display = g_wayland.display;
    while (wl_display_prepare_read(display) != 0) {
        if (wl_display_dispatch_pending(display) < 0) {
            WaylandExitLostConnection();
        }
    }
    if (wl_display_flush(display) < 0 && errno != EAGAIN) {
        wl_display_cancel_read(display);
        WaylandExitLostConnection();
    }
    // Only a look: the frame loop must never wait here.
    pollfd connection = {wl_display_get_fd(display), POLLIN, 0};
    if (poll(&connection, 1, 0) > 0) {
        if (wl_display_read_events(display) < 0) {
            WaylandExitLostConnection();
        }
    } else {
        wl_display_cancel_read(display);
    }
    if (wl_display_dispatch_pending(display) < 0) {
        WaylandExitLostConnection();
    }
}

void WaylandPumpEvents()
{
    posix::PosixDeliverCloseRequest();
    WaylandDispatch();
}

} // namespace wayland
