// The outputs as the compositor describes them, and the screen they make for
// GetSystemMetrics.
#include "wayland_platform.h"

#include <algorithm>
#include <iterator>

namespace wayland {

namespace {

constexpr std::uint32_t kOutputVersion = 2; // scale and done came with 2

Output *SlotOf(const wl_output *output)
{
    for (Output &o : g_wayland.outputs) {
        if (o.output != nullptr && o.output == output) {
            return &o;
        }
    }
    return nullptr;
}

void OnGeometry(void * /*data*/, wl_output *output, std::int32_t /*x*/, std::int32_t /*y*/,
                std::int32_t /*physicalWidth*/, std::int32_t /*physicalHeight*/,
                std::int32_t /*subpixel*/, const char * /*make*/, const char * /*model*/,
                std::int32_t transform)
{
    if (Output *o = SlotOf(output)) {
        o->transform = transform;
    }
}

void OnMode(void * /*data*/, wl_output *output, std::uint32_t flags, std::int32_t width,
            std::int32_t height, std::int32_t /*refresh*/)
{
    Output *o = SlotOf(output);
    if (o != nullptr && (flags & WL_OUTPUT_MODE_CURRENT) != 0) {
        o->modeWidth = width;
        o->modeHeight = height;
    }
}

// Everything the output said since the last done holds from here.
void OnDone(void * /*data*/, wl_output *output)
{
    Output *o = SlotOf(output);
    if (o == nullptr) {
        return;
    }
    // The mode is the panel's own; a turned output shows it on its side.
    const bool sideways = (o->transform & 1) != 0;
    o->width = sideways ? o->modeHeight : o->modeWidth;
    o->height = sideways ? o->modeWidth : o->modeHeight;
    WaylandOutputsChanged();
}

void OnScale(void * /*data*/, wl_output *output, std::int32_t factor)
{
    if (Output *o = SlotOf(output)) {
        o->scale = std::max(1, factor);
    }
}

const wl_output_listener kOutputListener = [] {
    wl_output_listener l = {};
    l.geometry = OnGeometry;
    l.mode = OnMode;
    l.done = OnDone;
    l.scale = OnScale;
    // Names and descriptions need a newer wl_output than we bind.
    return l;
}();

} // namespace

void WaylandAddOutput(std::uint32_t name, std::uint32_t version)
{
    Output *slot = std::find_if(std::begin(g_wayland.outputs), std::end(g_wayland.outputs),
                                [](const Output &o) { return o.output == nullptr; });
    if (slot == std::end(g_wayland.outputs)) {
        WaylandReportError("too many outputs; the newest is left out");
        return;
    }
    // wl_registry_bind returns null only when out of memory.
    auto *output = static_cast<wl_output *>(wl_registry_bind(
        g_wayland.registry, name, &wl_output_interface, std::min(version, kOutputVersion)));
    if (output == nullptr) {
        WaylandReportError("cannot bind a Wayland global", wl_output_interface.name);
        return;
    }
    *slot = Output{};
    slot->output = output;
    slot->name = name;
    slot->scale = 1;
    wl_output_add_listener(output, &kOutputListener, nullptr);
}

bool WaylandRemoveOutput(std::uint32_t name)
{
    for (Output &o : g_wayland.outputs) {
        if (o.output != nullptr && o.name == name) {
            if (wl_output_get_version(o.output) >= WL_OUTPUT_RELEASE_SINCE_VERSION) {
                wl_output_release(o.output);
            } else {
                wl_output_destroy(o.output);
            }
            o = Output{};
            return true;
        }
    }
    return false;
}

const Output *WaylandTargetOutput()
{
    // Registry names only grow, so the smallest is the one announced first.
    const Output *target = nullptr;
    for (const Output &o : g_wayland.outputs) {
        if (o.output != nullptr && o.width > 0 && o.height > 0 &&
            (target == nullptr || o.name < target->name)) {
            target = &o;
        }
    }
    return target;
}

int WaylandOutputIndex(const wl_output *output)
{
    const Output *o = SlotOf(output);
    return o != nullptr ? static_cast<int>(o - g_wayland.outputs) : -1;
}

void WaylandScreenSize(int *width, int *height)
{
    const Output *target = WaylandTargetOutput();
    *width = target != nullptr ? target->width : 0;
    *height = target != nullptr ? target->height : 0;
}

} // namespace wayland
