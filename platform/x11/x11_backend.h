// The backend that runs the program on an X server with GLX.
#ifndef TOWER_PLATFORM_X11_BACKEND_H
#define TOWER_PLATFORM_X11_BACKEND_H

#include "../core/backend.h"

namespace x11 {

// Connect to the X server named by DISPLAY and return the backend to install.
// Without a server it says so in one line, naming DISPLAY and what it holds,
// and returns null.
const platform::Backend *OpenBackend();

// Give back the contexts and windows the program left, before it exits.
void CloseBackend();

} // namespace x11

#endif
