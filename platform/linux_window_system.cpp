// The window system the real program runs on under Linux, chosen once at
// start: natively on Wayland when WAYLAND_DISPLAY is set and the compositor
// takes the connection; on X11 otherwise, which on a Wayland desktop means
// its Xwayland. TOWER_BACKEND=x11 or TOWER_BACKEND=wayland forces one. With
// no window system to reach, one line says why: the forced backend's own, or
// one that names DISPLAY and, where it was set, WAYLAND_DISPLAY.
#include "main.h"

#include "posix/posix.h"
#include "wayland/wayland_backend.h"
#include "x11/x11_backend.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace platform {

namespace {

// How to give back the backend that was opened; null until one is.
void (*g_closeBackend)() = nullptr;

const Backend *Opened(const Backend *backend, void (*close)())
{
    if (backend != nullptr) {
        g_closeBackend = close;
    }
    return backend;
}

const Backend *OpenX11(const char *alsoTried = nullptr)
{
    return Opened(x11::OpenBackend(alsoTried), x11::CloseBackend);
}

} // namespace

const Backend *OpenWindowSystem()
{
    const char *forced = std::getenv("TOWER_BACKEND");
    if (forced != nullptr && std::strcmp(forced, "x11") == 0) {
        return OpenX11();
    }
    if (forced != nullptr && std::strcmp(forced, "wayland") == 0) {
        return Opened(wayland::OpenBackend(), wayland::CloseBackend);
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
        return OpenX11();
    }
    // Tried quietly: without a compositor, X11 says what both tries found.
    char tried[320];
    if (const Backend *backend = wayland::OpenBackend(tried, sizeof tried)) {
        return Opened(backend, wayland::CloseBackend);
    }
    return OpenX11(tried);
}

void CloseWindowSystem(int /*exitCode*/)
{
    if (g_closeBackend != nullptr) {
        g_closeBackend();
    }
}

} // namespace platform
