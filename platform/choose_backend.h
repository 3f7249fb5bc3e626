// Which window system the program runs on under Linux.
#ifndef TOWER_PLATFORM_CHOOSE_BACKEND_H
#define TOWER_PLATFORM_CHOOSE_BACKEND_H

#include "core/backend.h"

struct ChosenBackend {
    const platform::Backend *backend; // to install before WinMain runs
    void (*close)();                  // to call once WinMain has returned
};

// Natively on Wayland when WAYLAND_DISPLAY is set and the compositor takes
// the connection; on X11 otherwise, which on a Wayland desktop means its
// Xwayland. TOWER_BACKEND=x11 or TOWER_BACKEND=wayland forces one. With no
// window system to reach, backend is null and one line has said why: the
// forced backend's own, or one that names DISPLAY and, where it was set,
// WAYLAND_DISPLAY.
ChosenBackend ChooseBackend();

#endif
