// The backend that runs the program natively on a Wayland compositor, with
// EGL and desktop OpenGL.
#ifndef TOWER_PLATFORM_WAYLAND_BACKEND_H
#define TOWER_PLATFORM_WAYLAND_BACKEND_H

#include "../core/backend.h"

namespace wayland {

// Connect to the compositor WAYLAND_DISPLAY names and return the backend to
// install. Without a compositor: null, said nothing, unless required; then
// it says why and still returns a backend, whose every call fails the way
// Win32's would, so the program ends through its own failure paths.
const platform::Backend *OpenBackend(bool required);

// Give back the contexts and windows the program left, before it exits.
void CloseBackend();

} // namespace wayland

#endif
