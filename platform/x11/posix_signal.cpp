// SIGINT and SIGTERM close the program as its user would, through its
// window, so it tears down and exits normally.
#include "x11_platform.h"

#include <csignal>

namespace x11 {

namespace {

volatile std::sig_atomic_t g_closeRequested = 0;

void OnSignal(int signalNumber)
{
    // A second signal before the first was delivered means the program is
    // not getting round to it: let the default action end it.
    if (g_closeRequested != 0) {
        struct sigaction action = {};
        action.sa_handler = SIG_DFL;
        sigemptyset(&action.sa_mask);
        sigaction(signalNumber, &action, nullptr);
        raise(signalNumber);
        return;
    }
    g_closeRequested = 1;
}

} // namespace

void PosixCatchCloseSignals()
{
    struct sigaction action = {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    // Xlib and the GL driver do not expect their reads and writes to fail
    // with EINTR.
    action.sa_flags = SA_RESTART;
    if (sigaction(SIGINT, &action, nullptr) != 0 || sigaction(SIGTERM, &action, nullptr) != 0) {
        X11ReportError("cannot catch SIGINT and SIGTERM");
    }
}

bool PosixCloseRequested()
{
    return g_closeRequested != 0;
}

void PosixClearCloseRequest()
{
    g_closeRequested = 0;
}

} // namespace x11
