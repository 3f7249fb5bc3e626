// The backend's one way to stderr: the failures it reports, each said once,
// the words of each message box, and the last words when the compositor is
// gone. Each line goes out whole, in one write.
#include "wayland_platform.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace wayland {

namespace {

// Write one line, all of it unless stderr is closed or broken, where there
// is no one left to tell.
void WriteLine(const char *line)
{
    std::size_t left = std::strlen(line);
    while (left > 0) {
        const ssize_t written = write(STDERR_FILENO, line, left);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return;
        }
        line += written;
        left -= static_cast<std::size_t>(written);
    }
}

// FNV-1a.
std::uint64_t Hash(const char *line)
{
    std::uint64_t hash = 14695981039346656037ULL;
    for (const char *c = line; *c != '\0'; ++c) {
        hash = (hash ^ static_cast<unsigned char>(*c)) * 1099511628211ULL;
    }
    return hash;
}

// Whether the line was said before; if not, it is remembered as said. A
// failing call is usually made again every frame, so every line is
// remembered, the oldest forgotten first once the table is full.
bool SaidBefore(const char *line)
{
    Reports &r = g_wayland.reports;
    const std::uint64_t hash = Hash(line);
    for (int i = 0; i < r.known; ++i) {
        if (r.said[i] == hash) {
            return true;
        }
    }
    r.said[r.next] = hash;
    r.next = (r.next + 1) % kReportsRemembered;
    if (r.known < kReportsRemembered) {
        ++r.known;
    }
    return false;
}

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
    char line[512];
    const bool hasDetail = detail != nullptr && detail[0] != '\0';
    std::snprintf(line, sizeof line, "tower: %s%s%s\n", what, hasDetail ? ": " : "",
                  hasDetail ? detail : "");
    if (!SaidBefore(line)) {
        WriteLine(line);
    }
}

void EglReportError(const char *what)
{
    WaylandReportError(what, EglErrorName(eglGetError()));
}

void WaylandSayMessageBox(const char *caption, const char *text)
{
    // Every box is said, as every box is shown.
    char line[1024];
    std::snprintf(line, sizeof line, "%s: %s\n", caption, text);
    WriteLine(line);
}

void WaylandExitLostConnection()
{
    const char *name = std::getenv("WAYLAND_DISPLAY");
    const int error = g_wayland.display != nullptr ? wl_display_get_error(g_wayland.display) : 0;
    char line[512];
    const wl_interface *interface = nullptr;
    std::uint32_t object = 0;
    if (error == EPROTO) {
        const std::uint32_t code =
            wl_display_get_protocol_error(g_wayland.display, &interface, &object);
        std::snprintf(line, sizeof line,
                      "tower: the Wayland compositor refused a request: %s@%u, error %u\n",
                      interface != nullptr ? interface->name : "an unknown object", object, code);
    } else {
        std::snprintf(line, sizeof line,
                      "tower: lost the connection to the Wayland compositor \"%s\": %s\n",
                      name != nullptr ? name : "", std::strerror(error != 0 ? error : EPIPE));
    }
    WriteLine(line);
    // _exit rather than exit: the GL driver's exit handlers would talk to
    // the lost compositor and could wait on it for ever.
    _exit(1);
}

} // namespace wayland
