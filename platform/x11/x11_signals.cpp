// The X11 backend's signals, all set up here. SIGINT and SIGTERM close the
// program as its user would, through its windows, so it tears down and exits
// normally; a broken pipe to the X server is left for Xlib to report; a fault
// once the server has gone ends the program as the lost connection it is.
#include "x11_platform.h"

namespace x11 {

namespace {

bool Install(int signalNumber, void (*handler)(int), int flags, struct sigaction *previous)
{
    struct sigaction action = {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = flags;
    return sigaction(signalNumber, &action, previous) == 0;
}

void OnCloseSignal(int signalNumber)
{
    // A second signal before the first was delivered means the program is
    // not getting round to it: let the default action end it. Neither call
    // can fail: the signal is one sigaction took already, and the default
    // action is always allowed.
    if (g_x11.signals.closeRequested != 0) {
        Install(signalNumber, SIG_DFL, 0, nullptr);
        raise(signalNumber);
        return;
    }
    g_x11.signals.closeRequested = 1;
}

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
    // Xlib and the GL driver do not expect their reads and writes to fail
    // with EINTR.
    if (!Install(SIGINT, OnCloseSignal, SA_RESTART, nullptr) ||
        !Install(SIGTERM, OnCloseSignal, SA_RESTART, nullptr)) {
        X11ReportError("cannot catch SIGINT and SIGTERM");
    }
    // A write to a server that went away must come back as an error that
    // Xlib reports, not kill us silently.
    if (!Install(SIGPIPE, SIG_IGN, 0, nullptr)) {
        X11ReportError("cannot ignore SIGPIPE");
    }
    if (!Install(SIGSEGV, OnFault, 0, &g_x11.signals.previousSegv) ||
        !Install(SIGBUS, OnFault, 0, &g_x11.signals.previousBus)) {
        X11ReportError("cannot catch SIGSEGV and SIGBUS", "a lost X server may crash the program");
    }
}

bool X11CloseRequested()
{
    return g_x11.signals.closeRequested != 0;
}

void X11ClearCloseRequest()
{
    g_x11.signals.closeRequested = 0;
}

} // namespace x11
