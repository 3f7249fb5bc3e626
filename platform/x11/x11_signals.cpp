// Every signal the X11 backend sets up, set up here. SIGINT and SIGTERM are
// the close request both Linux backends share (posix/posix_signals.cpp); a
// broken pipe to the X server is left for Xlib to report; a fault once the
// server has gone ends the program as the lost connection it is.
#include "x11_platform.h"

#include "../posix/posix.h"

namespace x11 {

namespace {

// HACK: Mesa's GLX reads its first replies through xcb, which does not
// call Xlib's I/O error handler, and dereferences the reply that never came
// when the server has gone. A fault with the connection closed is that case:
// end as the I/O error handler would. Any other fault goes back to whoever
// handled it before (the default, or a sanitizer), and the faulting access
// repeats.
void OnFault(int signalNumber)
{
    if (X11ConnectionClosed()) {
        X11ExitLostConnection(nullptr, nullptr);
    }
    // Cannot fail: the same signal, and the action sigaction gave us for it.
    sigaction(signalNumber,
              signalNumber == SIGSEGV ? &g_x11.signals.previousSegv : &g_x11.signals.previousBus,
              nullptr);
}

} // namespace

void X11CatchSignals()
{
    if (!posix::PosixCatchCloseSignals()) {
        X11ReportError("cannot catch SIGINT and SIGTERM");
    }
    X11IgnoreBrokenPipes();
    if (!posix::PosixSetSignalHandler(SIGSEGV, OnFault, 0, &g_x11.signals.previousSegv) ||
        !posix::PosixSetSignalHandler(SIGBUS, OnFault, 0, &g_x11.signals.previousBus)) {
        X11ReportError("cannot catch SIGSEGV and SIGBUS", "a lost X server may crash the program");
    }
}

void X11IgnoreBrokenPipes()
{
    // A write to a server that went away must come back as an error that
    // Xlib reports, not kill us silently.
    if (!posix::PosixSetSignalHandler(SIGPIPE, SIG_IGN, 0, nullptr)) {
        X11ReportError("cannot ignore SIGPIPE");
    }
}

} // namespace x11
