#include "x_server.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xrandr.h>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <thread>
#include <unistd.h>

namespace e2e {

// Xvfb writes the display number it chose, then a newline, to the -displayfd
// descriptor once it accepts connections.
static bool ReadDisplayNumber(int fd, int timeoutMs, std::string *number)
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                        deadline - std::chrono::steady_clock::now())
                        .count();
        if (left <= 0) {
            return false;
        }
        pollfd pfd{fd, POLLIN, 0};
        int r = poll(&pfd, 1, static_cast<int>(left));
        if (r < 0 && errno == EINTR) {
            continue;
        }
        if (r <= 0) {
            return false;
        }
        char c;
        ssize_t got = read(fd, &c, 1);
        if (got <= 0) {
            return false;
        }
        if (c == '\n') {
            return !number->empty();
        }
        *number += c;
    }
}

bool XServer::Start(int width, int height, int depth, const std::string &logPath,
                    std::string *error)
{
    Stop();
    int fds[2];
    if (pipe(fds) != 0) {
        *error = std::string("pipe: ") + strerror(errno);
        return false;
    }
    fcntl(fds[0], F_SETFD, FD_CLOEXEC);
    std::string screen =
        std::to_string(width) + "x" + std::to_string(height) + "x" + std::to_string(depth);
    bool started = xvfb_.Start(
        {"Xvfb", "-displayfd", std::to_string(fds[1]), "-nolisten", "tcp", "-screen", "0", screen},
        {}, error, ChildIo{fds[1], "", logPath});
    close(fds[1]);
    std::string number;
    bool ready = started && ReadDisplayNumber(fds[0], 15000, &number);
    close(fds[0]);
    if (!started) {
        return false;
    }
    if (!ready) {
        *error = "Xvfb did not report a display within 15 s (" + xvfb_.Wait(0).Describe() + ")";
        Stop();
        return false;
    }
    name_ = ":" + number;
    display_ = XOpenDisplay(name_.c_str());
    if (!display_) {
        *error = "cannot connect to the new Xvfb on " + name_;
        Stop();
        return false;
    }
    return true;
}

void XServer::Stop()
{
    if (display_) {
        XCloseDisplay(display_);
        display_ = nullptr;
    }
    xvfb_.Kill();
    name_.clear();
}

XServer::~XServer()
{
    Stop();
}

// Errors here are windows vanishing under us; the callers look again.
static int IgnoreXErrors(Display *, XErrorEvent *)
{
    return 0;
}

static Window FindViewable(Display *display, Window window, const std::string &title)
{
    char *name = nullptr;
    if (XFetchName(display, window, &name) && name) {
        bool match = title == name;
        XFree(name);
        XWindowAttributes attrs{};
        if (match && XGetWindowAttributes(display, window, &attrs) &&
            attrs.map_state == IsViewable) {
            return window;
        }
    }
    Window root = 0;
    Window parent = 0;
    Window *children = nullptr;
    unsigned count = 0;
    Window found = 0;
    if (XQueryTree(display, window, &root, &parent, &children, &count)) {
        for (unsigned i = 0; i < count && !found; ++i) {
            found = FindViewable(display, children[i], title);
        }
        if (children) {
            XFree(children);
        }
    }
    return found;
}

Window WaitForViewableWindow(Display *display, const std::string &title, int timeoutMs)
{
    auto old = XSetErrorHandler(IgnoreXErrors);
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    Window found = 0;
    for (;;) {
        found = FindViewable(display, DefaultRootWindow(display), title);
        if (found || std::chrono::steady_clock::now() >= deadline) {
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    XSync(display, False);
    XSetErrorHandler(old);
    return found;
}

bool WindowExists(Display *display, Window window)
{
    auto old = XSetErrorHandler(IgnoreXErrors);
    XWindowAttributes attrs{};
    bool exists = XGetWindowAttributes(display, window, &attrs) != 0;
    XSync(display, False);
    XSetErrorHandler(old);
    return exists;
}

bool SetPrimaryOutput(Display *display, int width, int height, std::string *error)
{
    Window root = DefaultRootWindow(display);
    XRRScreenResources *resources = XRRGetScreenResources(display, root);
    if (!resources || resources->noutput < 1) {
        *error = "RandR reports no output";
        if (resources) {
            XRRFreeScreenResources(resources);
        }
        return false;
    }
    RROutput output = resources->outputs[0];
    XRROutputInfo *info = XRRGetOutputInfo(display, resources, output);
    RRCrtc crtc = info ? info->crtc : 0;
    if (info) {
        XRRFreeOutputInfo(info);
    }
    if (!crtc) {
        *error = "the first RandR output has no CRTC";
        XRRFreeScreenResources(resources);
        return false;
    }
    // Xvfb offers only the screen's own size; timings do not matter to it.
    std::string name = std::to_string(width) + "x" + std::to_string(height);
    XRRModeInfo mode{};
    mode.width = static_cast<unsigned>(width);
    mode.height = static_cast<unsigned>(height);
    mode.dotClock = 60ul * static_cast<unsigned>(width + 160) * static_cast<unsigned>(height + 40);
    mode.hSyncStart = mode.width + 40;
    mode.hSyncEnd = mode.width + 120;
    mode.hTotal = mode.width + 160;
    mode.vSyncStart = mode.height + 3;
    mode.vSyncEnd = mode.height + 9;
    mode.vTotal = mode.height + 40;
    mode.name = name.data();
    mode.nameLength = static_cast<unsigned>(name.size());
    RRMode id = XRRCreateMode(display, root, &mode);
    XRRAddOutputMode(display, output, id);
    Status status =
        XRRSetCrtcConfig(display, resources, crtc, CurrentTime, 0, 0, id, RR_Rotate_0, &output, 1);
    XRRSetOutputPrimary(display, root, output);
    XSync(display, False);
    XRRFreeScreenResources(resources);
    if (status != RRSetConfigSuccess || XRRGetOutputPrimary(display, root) != output) {
        *error = "the X server refused the " + name + " mode or the primary output";
        return false;
    }
    return true;
}

void SendDeleteWindow(Display *display, Window window)
{
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(display, window, False, NoEventMask, &event);
    XFlush(display);
}

} // namespace e2e
