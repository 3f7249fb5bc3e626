// The backend's sink: its failures, with EGL's name for its error where EGL
// gives one, and its last words when the compositor is gone, said on stderr
// through the one writer the Linux backends share.
#include "wayland_platform.h"

#include "../posix/posix.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace wayland {

namespace {

const char *EglErrorName(EGLint error)
{
    switch (error) {
    case EGL_SUCCESS:
        return "no EGL error recorded";
    case EGL_NOT_INITIALIZED:
        return "EGL_NOT_INITIALIZED";
    case EGL_BAD_ACCESS:
        return "EGL_BAD_ACCESS";
    case EGL_BAD_ALLOC:
        return "EGL_BAD_ALLOC";
    case EGL_BAD_ATTRIBUTE:
        return "EGL_BAD_ATTRIBUTE";
    case EGL_BAD_CONFIG:
        return "EGL_BAD_CONFIG";
    case EGL_BAD_CONTEXT:
        return "EGL_BAD_CONTEXT";
    case EGL_BAD_CURRENT_SURFACE:
        return "EGL_BAD_CURRENT_SURFACE";
    case EGL_BAD_DISPLAY:
        return "EGL_BAD_DISPLAY";
    case EGL_BAD_MATCH:
        return "EGL_BAD_MATCH";
    case EGL_BAD_NATIVE_PIXMAP:
        return "EGL_BAD_NATIVE_PIXMAP";
    case EGL_BAD_NATIVE_WINDOW:
        return "EGL_BAD_NATIVE_WINDOW";
    case EGL_BAD_PARAMETER:
        return "EGL_BAD_PARAMETER";
    case EGL_BAD_SURFACE:
        return "EGL_BAD_SURFACE";
    case EGL_CONTEXT_LOST:
        return "EGL_CONTEXT_LOST";
    default:
        return "an unknown EGL error";
    }
}

} // namespace

void WaylandReportError(const char *what, const char *detail)
{
    posix::PosixReportError(what, detail);
}

void EglReportError(const char *what)
{
    WaylandReportError(what, EglErrorName(eglGetError()));
}

void WaylandExitLostConnection()
{
    const int error = wl_display_get_error(g_wayland.display);
    char reason[256];
    if (error == EPROTO) {
        // A request the compositor refused ends the connection too.
        const wl_interface *interface = nullptr;
        std::uint32_t object = 0;
        const std::uint32_t code =
            wl_display_get_protocol_error(g_wayland.display, &interface, &object);
        std::snprintf(reason, sizeof reason, "it refused a request (%s@%u, error %u)",
                      interface != nullptr ? interface->name : "an unknown object", object, code);
    } else {
        std::snprintf(reason, sizeof reason, "%s", std::strerror(error != 0 ? error : EPIPE));
    }
    const char *name = std::getenv("WAYLAND_DISPLAY");
    posix::PosixExitLostConnection("the Wayland compositor", name != nullptr ? name : "wayland-0",
                                   reason);
}

} // namespace wayland
