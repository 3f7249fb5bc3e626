// MessageBoxA on Wayland, which has no box of its own: the words on stderr,
// always, and the box a user of the desktop knows, from the first of these
// that is there: zenity or kdialog, as other programs without a toolkit
// show theirs, else the X11 box on Xwayland. The program waits for it, and
// its own events keep flowing meanwhile; a close request ends the wait.
#include "wayland_platform.h"

#include "../posix/posix.h"
#include "../x11/x11_backend.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

namespace wayland {

namespace {

// How long one wait lasts before the box's helper is looked at again.
constexpr int kPollMilliseconds = 50;

// The compositor's events, and the user's close request, while a box is up.
bool KeepWaiting()
{
    WaylandDispatch();
    return !posix::PosixCloseRequested();
}

// Start a box tool with nothing of ours on its standard streams, so that
// its toolkit's chatter stays out of what the program says. false, with
// errno, when it cannot be started.
bool Spawn(const char *const argv[], pid_t *pid)
{
    posix_spawn_file_actions_t actions;
    int error = posix_spawn_file_actions_init(&actions);
    if (error != 0) {
        errno = error;
        return false;
    }
    for (int fd = 0; fd <= 2 && error == 0; ++fd) {
        error = posix_spawn_file_actions_addopen(&actions, fd, "/dev/null",
                                                 fd == 0 ? O_RDONLY : O_WRONLY, 0);
    }
    if (error == 0) {
        error =
            posix_spawnp(pid, argv[0], &actions, nullptr, const_cast<char *const *>(argv), environ);
    }
    posix_spawn_file_actions_destroy(&actions);
    errno = error;
    return error == 0;
}

// Wait for the tool's box to be dismissed, or take it away on a close
// request.
void WaitFor(pid_t pid)
{
    for (;;) {
        int status = 0;
        const pid_t ended = waitpid(pid, &status, WNOHANG);
        if (ended == pid || (ended < 0 && errno != EINTR)) {
            return;
        }
        if (!KeepWaiting()) {
            // Cannot fail: the child is ours and not yet reaped.
            kill(pid, SIGTERM);
            while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
            }
            return;
        }
        // Only a wait: whatever ends it, the loop looks again.
        pollfd connection = {wl_display_get_fd(g_wayland.display), POLLIN, 0};
        poll(&connection, 1, kPollMilliseconds);
    }
}

// The box through the first tool that starts; false when none is there.
bool ShowThroughTool(const char *text, const char *caption)
{
    // MB_OK with no icon: the plainest box each tool has. Each closes on
    // Return, Escape and OK.
    const char *const zenity[] = {"zenity", "--info", "--title",     caption,
                                  "--text", text,     "--no-markup", nullptr};
    const char *const kdialog[] = {"kdialog", "--title", caption, "--msgbox", text, nullptr};
    const char *const *const tools[] = {zenity, kdialog};
    for (const char *const *argv : tools) {
        pid_t pid = 0;
        if (Spawn(argv, &pid)) {
            WaitFor(pid);
            return true;
        }
        if (errno != ENOENT) {
            WaylandReportError("cannot start the message box's helper", std::strerror(errno));
        }
    }
    return false;
}

} // namespace

void WaylandMessageBox(platform::BackendId /*owner*/, const char *text, const char *caption,
                       UINT /*type*/)
{
    // Every box is said on stderr too, so that a run with no one watching
    // the screen still tells why it ended.
    posix::PosixSayMessageBox(caption, text);
    // Once the user has asked the program to close, asking them to click
    // through its boxes would only stand in the way.
    if (posix::PosixCloseRequested()) {
        return;
    }
    if (ShowThroughTool(text, caption)) {
        return;
    }
    // An X display that refused us once, and said so, would only say it
    // again.
    const char *x = std::getenv("DISPLAY");
    if (x != nullptr && x[0] != '\0' && !g_wayland.noXBox) {
        g_wayland.noXBox = !x11::ShowStandaloneMessageBox(text, caption, KeepWaiting);
    }
}

} // namespace wayland
