// Which backend the program runs on under Linux.
#ifndef TOWER_PLATFORM_CHOOSE_BACKEND_H
#define TOWER_PLATFORM_CHOOSE_BACKEND_H

#include "core/backend.h"

struct ChosenBackend {
    const platform::Backend *backend; // to install before WinMain runs
    void (*close)();                  // to call once WinMain has returned
};

// Natively on Wayland when WAYLAND_DISPLAY is set and the compositor takes
// the connection; on X11 otherwise, which on a Wayland desktop means its
// Xwayland. TOWER_BACKEND=x11 or TOWER_BACKEND=wayland forces one; when it
// cannot be had, that backend says why on stderr.
ChosenBackend ChooseBackend();

#endif
