// The backend's sink: its failures, and its last words when the X server is
// gone, said on stderr through the one writer the Linux backends share.
#include "x11_platform.h"

#include "../posix/posix.h"

namespace x11 {

void X11ReportError(const char *what, const char *detail)
{
    posix::PosixReportError(what, detail);
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

void X11ExitLostConnection(const char *displayName, const char *reason)
{
    posix::PosixExitLostConnection("the X server", displayName, reason);
}

} // namespace x11
