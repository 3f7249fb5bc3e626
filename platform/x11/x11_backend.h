// The backend that runs the program on an X server with GLX.
#ifndef TOWER_PLATFORM_X11_BACKEND_H
#define TOWER_PLATFORM_X11_BACKEND_H

#include "../core/backend.h"

namespace x11 {

// Connect to the X server named by DISPLAY and return the backend to install.
// Without a server it says so in one line, naming DISPLAY and what it holds,
// after alsoTried ("WAYLAND_DISPLAY is ...") where the caller tried another
// window system first, and returns null.
const platform::Backend *OpenBackend(const char *alsoTried = nullptr);

// Give back the contexts and windows the program left, before it exits.
void CloseBackend();

// The modal message box alone, for a program that runs on another backend
// (a Wayland desktop's Xwayland serves X clients): on the display DISPLAY
// names, connected to at the first box and kept. While the box waits,
// keepWaiting runs every few milliseconds, so the caller's own events keep
// flowing; the box goes when it returns false. Returns false when there is
// no X display to show it on.
bool ShowStandaloneMessageBox(const char *text, const char *caption, bool (*keepWaiting)());

// The virtual key an X keysym types, or 0 for one the program does not
// follow. xkbcommon numbers keysyms as X does, so the Wayland backend matches
// its keys through this too.
int VirtualKeyOfKeysym(unsigned long keysym);

} // namespace x11

#endif
