// Top-level windows: an xdg_toplevel on a wl_surface each, asking for
// full-screen on the target output, following every configure and the scale
// of the outputs the surface is on, so that the buffer has the output's own
// pixels and the program hears each size as WM_SIZE.
#include "wayland_platform.h"

#include "fractional-scale-v1-client-protocol.h"
#include "viewporter-client-protocol.h"
#include "xdg-shell-client-protocol.h"

#include <wayland-egl.h>

#include <algorithm>
#include <iterator>

namespace wayland {

namespace {

WindowSlot *SlotOfSurface(const wl_surface *surface)
{
    for (WindowSlot &slot : g_wayland.windows) {
        if (slot.state != nullptr && slot.surface == surface) {
            return &slot;
        }
    }
    return nullptr;
}

// The whole-number scale of the outputs the surface is on, the largest one
// where it spans several; before it is on any, the target output's. A
// compositor too old to take a buffer scale draws every buffer at 1.
int ScaleOf(const WindowSlot &slot)
{
    if (wl_surface_get_version(slot.surface) < WL_SURFACE_SET_BUFFER_SCALE_SINCE_VERSION) {
        return 1;
    }
    int scale = 0;
    for (int i = 0; i < kOutputSlots; ++i) {
        const Output &o = g_wayland.outputs[i];
        if ((slot.outputs & (1U << i)) != 0 && o.output != nullptr) {
            scale = std::max(scale, o.scale);
        }
    }
    if (scale == 0) {
        const Output *target = WaylandTargetOutput();
        scale = target != nullptr ? target->scale : 1;
    }
    return scale;
}

bool Fractional(const WindowSlot &slot)
{
    return slot.scale120 > 0 && slot.viewport != nullptr;
}

// Give the surface its buffer size and scale, and tell the program of a new
// size. What is set here takes effect with the next frame's commit.
void Resize(WindowSlot &slot)
{
    slot.scale = ScaleOf(slot);
    if (Fractional(slot)) {
        wl_surface_set_buffer_scale(slot.surface, 1);
        wp_viewport_set_destination(slot.viewport, slot.logicalWidth, slot.logicalHeight);
    } else if (wl_surface_get_version(slot.surface) >= WL_SURFACE_SET_BUFFER_SCALE_SINCE_VERSION) {
        wl_surface_set_buffer_scale(slot.surface, slot.scale);
    }
    int width = 0;
    int height = 0;
    WaylandPixelSize(slot, &width, &height);
    if (slot.eglWindow != nullptr) {
        wl_egl_window_resize(slot.eglWindow, width, height, 0, 0);
    }
    platform::WindowResized(WaylandIdOf(slot), width, height);
}

void OnEnter(void * /*data*/, wl_surface *surface, wl_output *output)
{
    WindowSlot *slot = SlotOfSurface(surface);
    const int index = WaylandOutputIndex(output);
    if (slot != nullptr && index >= 0) {
        slot->outputs |= 1U << index;
        Resize(*slot);
    }
}

void OnLeave(void * /*data*/, wl_surface *surface, wl_output *output)
{
    WindowSlot *slot = SlotOfSurface(surface);
    const int index = WaylandOutputIndex(output);
    if (slot != nullptr && index >= 0) {
        slot->outputs &= ~(1U << index);
        Resize(*slot);
    }
}

const wl_surface_listener kSurfaceListener = [] {
    wl_surface_listener l = {};
    l.enter = OnEnter;
    l.leave = OnLeave;
    return l;
}();

void OnToplevelConfigure(void *data, xdg_toplevel * /*toplevel*/, std::int32_t width,
                         std::int32_t height, wl_array * /*states*/)
{
    WindowSlot &slot = *static_cast<WindowSlot *>(data);
    slot.pending.width = width;
    slot.pending.height = height;
}

void OnToplevelClose(void *data, xdg_toplevel * /*toplevel*/)
{
    // The compositor's close button, or its keyboard shortcut: Win32's
    // WM_CLOSE, which the default procedure answers by destroying the window.
    platform::PostWindowEvent(WaylandIdOf(*static_cast<WindowSlot *>(data)), WM_CLOSE, 0, 0);
}

const xdg_toplevel_listener kToplevelListener = [] {
    xdg_toplevel_listener l = {};
    l.configure = OnToplevelConfigure;
    l.close = OnToplevelClose;
    // The later events need a newer xdg_wm_base than we bind.
    return l;
}();

// The end of one configure: everything the toplevel said before it holds.
void OnSurfaceConfigure(void *data, xdg_surface *xdgSurface, std::uint32_t serial)
{
    WindowSlot &slot = *static_cast<WindowSlot *>(data);
    xdg_surface_ack_configure(xdgSurface, serial);
    slot.configured = true;
    // A size of 0 leaves it to us, as sway's first configure does: the size
    // we have, which for a full-screen window is the output's already.
    if (slot.pending.width > 0 && slot.pending.height > 0) {
        slot.logicalWidth = slot.pending.width;
        slot.logicalHeight = slot.pending.height;
    }
    Resize(slot);
}

const xdg_surface_listener kXdgSurfaceListener = [] {
    xdg_surface_listener l = {};
    l.configure = OnSurfaceConfigure;
    return l;
}();

void OnPreferredScale(void *data, wp_fractional_scale_v1 * /*fractional*/, std::uint32_t scale)
{
    WindowSlot &slot = *static_cast<WindowSlot *>(data);
    slot.scale120 = static_cast<int>(scale);
    Resize(slot);
}

const wp_fractional_scale_v1_listener kFractionalListener = [] {
    wp_fractional_scale_v1_listener l = {};
    l.preferred_scale = OnPreferredScale;
    return l;
}();

// Whether a window covers the whole target output, as a full-screen pop-up
// does.
bool CoversTarget(const platform::WindowState &state, int x, int y)
{
    const Output *target = WaylandTargetOutput();
    return target != nullptr && x <= 0 && y <= 0 && x + state.width >= target->width &&
           y + state.height >= target->height;
}

// The scale's helpers, made where the compositor offers both.
bool AddFractionalScale(WindowSlot &slot)
{
    const Globals &g = g_wayland.globals;
    if (g.fractionalScale == nullptr || g.viewporter == nullptr) {
        return true;
    }
    slot.viewport = wp_viewporter_get_viewport(g.viewporter, slot.surface);
    slot.fractional =
        wp_fractional_scale_manager_v1_get_fractional_scale(g.fractionalScale, slot.surface);
    if (slot.viewport == nullptr || slot.fractional == nullptr) {
        return false;
    }
    wp_fractional_scale_v1_add_listener(slot.fractional, &kFractionalListener, &slot);
    return true;
}

void DestroyObjects(WindowSlot &slot)
{
    if (slot.fractional != nullptr) {
        wp_fractional_scale_v1_destroy(slot.fractional);
    }
    if (slot.viewport != nullptr) {
        wp_viewport_destroy(slot.viewport);
    }
    if (slot.toplevel != nullptr) {
        xdg_toplevel_destroy(slot.toplevel);
    }
    if (slot.xdgSurface != nullptr) {
        xdg_surface_destroy(slot.xdgSurface);
    }
    if (slot.surface != nullptr) {
        wl_surface_destroy(slot.surface);
    }
    slot = WindowSlot{};
}

} // namespace

WindowSlot *WaylandSlotOfId(platform::BackendId window)
{
    if (window == 0 || window > static_cast<platform::BackendId>(kWindowSlots)) {
        return nullptr;
    }
    WindowSlot &slot = g_wayland.windows[window - 1];
    return slot.state != nullptr ? &slot : nullptr;
}

platform::BackendId WaylandIdOf(const WindowSlot &slot)
{
    return static_cast<platform::BackendId>(&slot - g_wayland.windows) + 1;
}

void WaylandPixelSize(const WindowSlot &slot, int *width, int *height)
{
    if (Fractional(slot)) {
        // Rounded half away from zero, as the protocol asks.
        *width = (slot.logicalWidth * slot.scale120 + kScaleUnit / 2) / kScaleUnit;
        *height = (slot.logicalHeight * slot.scale120 + kScaleUnit / 2) / kScaleUnit;
    } else {
        *width = slot.logicalWidth * slot.scale;
        *height = slot.logicalHeight * slot.scale;
    }
}

void WaylandOutputsChanged()
{
    for (WindowSlot &slot : g_wayland.windows) {
        if (slot.state == nullptr) {
            continue;
        }
        // An output that went away no longer holds the surface.
        for (int i = 0; i < kOutputSlots; ++i) {
            if (g_wayland.outputs[i].output == nullptr) {
                slot.outputs &= ~(1U << i);
            }
        }
        Resize(slot);
    }
}

platform::BackendId WaylandCreateWindow(const platform::WindowState *state, int x, int y)
{
    const Globals &g = g_wayland.globals;
    if (g.compositor == nullptr || g.wmBase == nullptr) {
        return 0;
    }
    WindowSlot *slot = std::find_if(std::begin(g_wayland.windows), std::end(g_wayland.windows),
                                    [](const WindowSlot &s) { return s.state == nullptr; });
    if (slot == std::end(g_wayland.windows)) {
        WaylandReportError("cannot create the window", "too many windows");
        return 0;
    }
    slot->state = state;
    slot->surface = wl_compositor_create_surface(g.compositor);
    if (slot->surface != nullptr) {
        wl_surface_add_listener(slot->surface, &kSurfaceListener, slot);
        slot->xdgSurface = xdg_wm_base_get_xdg_surface(g.wmBase, slot->surface);
    }
    if (slot->xdgSurface != nullptr) {
        xdg_surface_add_listener(slot->xdgSurface, &kXdgSurfaceListener, slot);
        slot->toplevel = xdg_surface_get_toplevel(slot->xdgSurface);
    }
    // Each of these fails only when out of memory.
    if (slot->toplevel == nullptr || !AddFractionalScale(*slot)) {
        WaylandReportError("cannot create the window", "out of memory");
        DestroyObjects(*slot);
        return 0;
    }
    xdg_toplevel_add_listener(slot->toplevel, &kToplevelListener, slot);
    xdg_toplevel_set_title(slot->toplevel, state->title);
    // The name the desktop knows the program by: its menu entry's.
    xdg_toplevel_set_app_id(slot->toplevel, "tower");
    // The compositor places a window itself, so only a full-screen pop-up
    // can say where it goes.
    if ((state->style & WS_POPUP) != 0 && CoversTarget(*state, x, y)) {
        xdg_toplevel_set_fullscreen(slot->toplevel, WaylandTargetOutput()->output);
    }
    slot->scale = ScaleOf(*slot);
    slot->logicalWidth = std::max(1, state->width / slot->scale);
    slot->logicalHeight = std::max(1, state->height / slot->scale);
    WaylandFlush();
    return WaylandIdOf(*slot);
}

void WaylandDestroyWindow(platform::BackendId window)
{
    WindowSlot *slot = WaylandSlotOfId(window);
    if (slot == nullptr) {
        return;
    }
    EglReleaseSurface(*slot);
    DestroyObjects(*slot);
    WaylandFlush();
}

// A surface is shown by its first buffer, which only a configured surface
// may have: showing commits the role and the compositor's configure follows,
// then the next swap maps it. Hiding takes the buffer away, after which the
// surface must be configured afresh.
void WaylandShowWindow(platform::BackendId window, bool visible)
{
    WindowSlot *slot = WaylandSlotOfId(window);
    if (slot == nullptr) {
        return;
    }
    if (visible && !slot->roleCommitted) {
        wl_surface_commit(slot->surface);
        slot->roleCommitted = true;
    } else if (!visible && slot->roleCommitted) {
        wl_surface_attach(slot->surface, nullptr, 0, 0);
        wl_surface_commit(slot->surface);
        slot->roleCommitted = false;
        slot->configured = false;
    }
    WaylandFlush();
}

// No other client can destroy a Wayland surface of ours: it is there until
// we destroy it.
bool WaylandWindowExists(platform::BackendId window)
{
    return WaylandSlotOfId(window) != nullptr;
}

} // namespace wayland
