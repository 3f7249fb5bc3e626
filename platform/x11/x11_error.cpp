// The backend's one way of reporting a failure, and Xlib's error handlers
// that feed it.
#include "x11_platform.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace x11 {

namespace {

// The last report, so that a failure repeated every frame is said once.
char g_lastReport[512];
bool g_trapping = false;
int g_trappedError = Success;

// Protocol errors already told, by kind: a failing request is usually
// repeated every frame, and interleaved with others.
struct ErrorKind {
    unsigned char error;
    unsigned char request;
    unsigned char minor;
};
constexpr int kMaxErrorKinds = 32;
ErrorKind g_told[kMaxErrorKinds];
int g_toldCount = 0;

bool FirstOfItsKind(const XErrorEvent &event)
{
    for (int i = 0; i < g_toldCount; ++i) {
        const ErrorKind &kind = g_told[i];
        if (kind.error == event.error_code && kind.request == event.request_code &&
            kind.minor == event.minor_code) {
            return false;
        }
    }
    if (g_toldCount < kMaxErrorKinds) {
        g_told[g_toldCount++] = ErrorKind{event.error_code, event.request_code, event.minor_code};
    }
    return true;
}

int OnXError(Display *display, XErrorEvent *event)
{
    if (g_trapping) {
        if (g_trappedError == Success) {
            g_trappedError = event->error_code;
        }
        return 0;
    }
    if (!FirstOfItsKind(*event)) {
        return 0;
    }
    char text[256];
    XGetErrorText(display, event->error_code, text, sizeof text);
    char detail[384];
    std::snprintf(detail, sizeof detail, "%s (request %d.%d, resource 0x%lx)", text,
                  event->request_code, event->minor_code, event->resourceid);
    X11ReportError("X protocol error", detail);
    return 0;
}

// NOTE: Xlib ends the process itself if this returns, and the connection is
// dead, so nothing here may call Xlib. _exit rather than exit: the GL
// driver's exit handlers would talk to the lost server and could hang.
int OnXIOError(Display *display)
{
    const int error = errno;
    char line[512];
    const char *name = DisplayString(display);
    int length;
    if (error != 0 && error != EAGAIN) {
        length = std::snprintf(line, sizeof line,
                               "tower: lost the connection to the X server \"%s\": %s\n",
                               name != nullptr ? name : "", std::strerror(error));
    } else {
        length =
            std::snprintf(line, sizeof line, "tower: lost the connection to the X server \"%s\"\n",
                          name != nullptr ? name : "");
    }
    if (length > 0) {
        const auto size = static_cast<size_t>(length) < sizeof line ? static_cast<size_t>(length)
                                                                    : sizeof line - 1;
        const ssize_t written = write(STDERR_FILENO, line, size);
        (void)written;
    }
    _exit(1);
}

} // namespace

void X11ReportError(const char *what, const char *detail)
{
    char report[sizeof g_lastReport];
    if (detail != nullptr && detail[0] != '\0') {
        std::snprintf(report, sizeof report, "%s: %s", what, detail);
    } else {
        std::snprintf(report, sizeof report, "%s", what);
    }
    if (std::strcmp(report, g_lastReport) == 0) {
        return;
    }
    std::memcpy(g_lastReport, report, sizeof report);
    std::fprintf(stderr, "tower: %s\n", report);
    std::fflush(stderr);
}

void X11ReportXError(const char *what, int errorCode)
{
    // Some calls fail without a protocol error to name.
    if (errorCode == Success) {
        X11ReportError(what);
        return;
    }
    char text[256] = "unknown error";
    if (g_x11.display != nullptr) {
        XGetErrorText(g_x11.display, errorCode, text, sizeof text);
    }
    X11ReportError(what, text);
}

void X11InstallErrorHandlers()
{
    XSetErrorHandler(OnXError);
    XSetIOErrorHandler(OnXIOError);
}

void X11TrapErrors()
{
    g_trapping = true;
    g_trappedError = Success;
}

int X11UntrapErrors()
{
    XSync(g_x11.display, False);
    g_trapping = false;
    return g_trappedError;
}

bool X11ConnectionClosed()
{
    if (g_x11.display == nullptr) {
        return false;
    }
    const int fd = ConnectionNumber(g_x11.display);
    pollfd peer = {fd, POLLIN, 0};
    if (poll(&peer, 1, 0) <= 0) {
        return false;
    }
    char byte;
    return (peer.revents & (POLLHUP | POLLERR)) != 0 ||
           recv(fd, &byte, 1, MSG_PEEK | MSG_DONTWAIT) == 0;
}

} // namespace x11
