// Xlib's two error handlers: protocol errors are reported, or collected for
// whoever traps them; a broken connection ends the program.
#include "x11_platform.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>

namespace x11 {

namespace {

int OnXError(Display *display, XErrorEvent *event)
{
    Trap &r = g_x11.trap;
    if (r.trapping) {
        if (r.trappedError == Success) {
            r.trappedError = event->error_code;
        }
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
// dead, so nothing here may call Xlib.
int OnXIOError(Display *display)
{
    const int error = errno;
    const char *name = DisplayString(display);
    X11ExitLostConnection(name != nullptr ? name : "",
                          error != 0 && error != EAGAIN ? std::strerror(error) : nullptr);
}

} // namespace

void X11InstallErrorHandlers()
{
    // Both return the previous handler, which is not ours to call.
    XSetErrorHandler(OnXError);
    XSetIOErrorHandler(OnXIOError);
}

void X11TrapErrors()
{
    g_x11.trap.trapping = true;
    g_x11.trap.trappedError = Success;
}

int X11UntrapErrors()
{
    // XSync's result is always 1; a broken connection ends in OnXIOError.
    XSync(g_x11.display, False);
    g_x11.trap.trapping = false;
    return g_x11.trap.trappedError;
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
