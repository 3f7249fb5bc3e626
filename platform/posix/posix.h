// What the two Linux backends, x11/ and wayland/, share of the system beneath
// them: stderr as the one place failures are said, SIGINT and SIGTERM as a
// user's request to close, and sleeping. Each backend says its failures
// through its own sink, which forwards here. Signals: the Wayland backend
// needs only the close request; x11/x11_signals.cpp sets up all of the X11
// backend's, the close request with its own (SIGPIPE, the fault guard).
#ifndef TOWER_PLATFORM_POSIX_H
#define TOWER_PLATFORM_POSIX_H

#include <windows.h>

#include <csignal>
#include <cstdint>

namespace posix {

// How many different failure reports are remembered, so as not to repeat them.
constexpr int kReportsRemembered = 64;

struct Reports {
    std::uint64_t said[kReportsRemembered]; // hashes of the lines said
    int known;                              // how many of said[] hold one
    int next;                               // where the next goes
};

struct State {
    Reports reports;
    // SIGINT or SIGTERM asked the program to close and no window has been
    // told yet.
    volatile std::sig_atomic_t closeRequested;
};

extern State g_posix;

// --- posix_stderr.cpp: the one way to stderr, for every backend and for
// whatever runs before one exists. Each line is written whole by one writer
// that is safe in a signal handler, so a line from a fault never lands
// inside another.
// Say a failure, once: "tower: what: detail", or "tower: what".
void PosixReportError(const char *what, const char *detail = nullptr);
// A message box's words, "caption: text", each time a box is shown.
void PosixSayMessageBox(const char *caption, const char *text);
// Say that the connection to the window system is gone, "tower: lost the
// connection to <server> "<name>": <reason>" (name and reason where not
// null), and end the process at once with exit code 1. Only system calls,
// so it is safe in a signal handler.
[[noreturn]] void PosixExitLostConnection(const char *server, const char *name, const char *reason);

// --- posix_signals.cpp
// Catch SIGINT and SIGTERM as a request to close; false when they cannot be
// caught, which the caller says.
bool PosixCatchCloseSignals();
bool PosixCloseRequested();
// Tell the program's windows of a pending close request, as their user
// closing them would. Before any window exists the request waits for one;
// if none ever comes, set-up has failed, and that failure already ends the
// program.
void PosixDeliverCloseRequest();
// Set a backend's own handler for a signal; previous, where not null, gets
// the one it replaces. false when sigaction refuses.
bool PosixSetSignalHandler(int signalNumber, void (*handler)(int), int flags,
                           struct sigaction *previous);

// --- posix_sleep.cpp
// Sleep, through any signal: a close request waits for the rest of it.
void PosixSleep(DWORD milliseconds);

} // namespace posix

#endif
