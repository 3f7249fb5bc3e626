// The window system the program runs on under Linux, chosen once at start.
#include "choose_backend.h"

#include "posix/posix.h"
#include "wayland/wayland_backend.h"
#include "x11/x11_backend.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

ChosenBackend X11(const char *alsoTried = nullptr)
{
    const platform::Backend *backend = x11::OpenBackend(alsoTried);
    return {backend, backend != nullptr ? x11::CloseBackend : nullptr};
}

} // namespace

ChosenBackend ChooseBackend()
{
    const char *forced = std::getenv("TOWER_BACKEND");
    if (forced != nullptr && std::strcmp(forced, "x11") == 0) {
        return X11();
    }
    if (forced != nullptr && std::strcmp(forced, "wayland") == 0) {
        const platform::Backend *backend = wayland::OpenBackend();
        return {backend, backend != nullptr ? wayland::CloseBackend : nullptr};
    }
    // No backend exists yet to say this, so it goes straight to the writer
    // they both say theirs through.
    if (forced != nullptr && forced[0] != '\0') {
        char line[400];
        std::snprintf(line, sizeof line,
                      "TOWER_BACKEND is \"%.256s\"; it can be x11 or wayland, so the program "
                      "chooses as without it",
                      forced);
        posix::PosixReportError(line);
    }
    // An empty WAYLAND_DISPLAY is no compositor, as an empty DISPLAY is no
    // X server.
    const char *compositor = std::getenv("WAYLAND_DISPLAY");
    if (compositor == nullptr || compositor[0] == '\0') {
        return X11();
    }
    // Tried quietly: without a compositor, X11 says what both tries found.
    char tried[320];
    if (const platform::Backend *backend = wayland::OpenBackend(tried, sizeof tried)) {
        return {backend, wayland::CloseBackend};
    }
    return X11(tried);
}
