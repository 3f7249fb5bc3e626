#include "choose_backend.h"

#include "wayland/wayland_backend.h"
#include "x11/x11_backend.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

ChosenBackend ChooseBackend()
{
    const char *forced = std::getenv("TOWER_BACKEND");
    if (forced != nullptr && std::strcmp(forced, "x11") == 0) {
        return {x11::OpenBackend(), x11::CloseBackend};
    }
    if (forced != nullptr && std::strcmp(forced, "wayland") == 0) {
        return {wayland::OpenBackend(true), wayland::CloseBackend};
    }
    if (forced != nullptr && forced[0] != '\0') {
        std::fprintf(stderr,
                     "tower: TOWER_BACKEND is \"%s\"; it can be x11 or wayland, so the program "
                     "chooses as without it\n",
                     forced);
    }
    // An empty WAYLAND_DISPLAY is no compositor, as an empty DISPLAY is no
    // X server.
    const char *compositor = std::getenv("WAYLAND_DISPLAY");
    if (compositor != nullptr && compositor[0] != '\0') {
        if (const platform::Backend *backend = wayland::OpenBackend(false)) {
            return {backend, wayland::CloseBackend};
        }
    }
    return {x11::OpenBackend(), x11::CloseBackend};
}
