// SIGINT and SIGTERM close the program as its user would, through its
// windows, so it tears down and exits normally.
#include "posix.h"

#include "../core/backend.h"

namespace posix {

namespace {

void OnCloseSignal(int signalNumber)
{
    // A second signal before the first was delivered means the program is
    // not getting round to it: let the default action end it. Neither call
    // can fail: the signal is one sigaction took already, and the default
    // action is always allowed.
    if (g_posix.closeRequested != 0) {
        PosixSetSignalHandler(signalNumber, SIG_DFL, 0, nullptr);
        raise(signalNumber);
        return;
    }
    g_posix.closeRequested = 1;
}

} // namespace

bool PosixSetSignalHandler(int signalNumber, void (*handler)(int), int flags,
                           struct sigaction *previous)
{
    struct sigaction action = {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = flags;
    return sigaction(signalNumber, &action, previous) == 0;
}

bool PosixCatchCloseSignals()
{
    // The window system's client libraries and the GL driver do not expect
    // their reads and writes to fail with EINTR.
    return PosixSetSignalHandler(SIGINT, OnCloseSignal, SA_RESTART, nullptr) &&
           PosixSetSignalHandler(SIGTERM, OnCloseSignal, SA_RESTART, nullptr);
}

bool PosixCloseRequested()
{
    return g_posix.closeRequested != 0;
}

void PosixDeliverCloseRequest()
{
    if (PosixCloseRequested() && platform::CloseAllWindows()) {
        g_posix.closeRequested = 0;
    }
}

} // namespace posix
