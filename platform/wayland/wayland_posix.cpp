// Signals and sleeping. SIGINT and SIGTERM close the program as its user
// would, through its windows, so it tears down and exits normally.
#include "wayland_platform.h"

#include <cerrno>
#include <ctime>

namespace wayland {

namespace {

bool Install(int signalNumber, void (*handler)(int), int flags)
{
    struct sigaction action = {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = flags;
    return sigaction(signalNumber, &action, nullptr) == 0;
}

void OnCloseSignal(int signalNumber)
{
    // A second signal before the first was heard means the program is not
    // getting round to it: let the default action end it. Neither call can
    // fail: the signal is one sigaction took already, and the default action
    // is always allowed.
    if (g_wayland.signals.closeRequested != 0) {
        Install(signalNumber, SIG_DFL, 0);
        raise(signalNumber);
        return;
    }
    g_wayland.signals.closeRequested = 1;
}

} // namespace

void PosixCatchCloseSignals()
{
    // wayland-client and the GL driver do not expect their reads and writes
    // to fail with EINTR.
    if (!Install(SIGINT, OnCloseSignal, SA_RESTART) ||
        !Install(SIGTERM, OnCloseSignal, SA_RESTART)) {
        WaylandReportError("cannot catch SIGINT and SIGTERM");
    }
}

bool PosixCloseRequested()
{
    return g_wayland.signals.closeRequested != 0;
}

void PosixClearCloseRequest()
{
    g_wayland.signals.closeRequested = 0;
}

void PosixSleep(DWORD milliseconds)
{
    timespec wait = {};
    wait.tv_sec = static_cast<time_t>(milliseconds / 1000);
    wait.tv_nsec = static_cast<long>(milliseconds % 1000) * 1000000L;
    timespec left = {};
    // A signal cuts the wait short; its close request can wait for the
    // rest of it, as it is at most a frame.
    while (nanosleep(&wait, &left) != 0 && errno == EINTR) {
        wait = left;
    }
}

} // namespace wayland
