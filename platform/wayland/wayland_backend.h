// The backend that runs the program natively on a Wayland compositor, with
// EGL and desktop OpenGL.
#ifndef TOWER_PLATFORM_WAYLAND_BACKEND_H
#define TOWER_PLATFORM_WAYLAND_BACKEND_H

#include "../core/backend.h"

#include <cstddef>

namespace wayland {

// Connect to the compositor WAYLAND_DISPLAY names (wayland-0 where it is
// unset) and return the backend to install. Without a compositor it returns
// null, having said why in one line; or, with whyNot, having said nothing
// and written there what was tried and why it failed, for a caller that
// tries X11 next and says both in one line.
const platform::Backend *OpenBackend(char *whyNot = nullptr, std::size_t whyNotSize = 0);

// Give back the contexts and windows the program left, before it exits.
void CloseBackend();

} // namespace wayland

#endif
