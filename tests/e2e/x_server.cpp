#include "x_server.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xrandr.h>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <pwd.h>
#include <regex>
#include <sstream>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace e2e {

std::string ReadFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Whether a window's atom-list property holds the atom.
static bool HasAtom(Display *display, Window window, const char *property, Atom atom)
{
    Atom type = 0;
    int format = 0;
    unsigned long count = 0;
    unsigned long after = 0;
    unsigned char *data = nullptr;
    if (XGetWindowProperty(display, window, XInternAtom(display, property, False), 0, 1024, False,
                           XA_ATOM, &type, &format, &count, &after, &data) != Success ||
        !data) {
        return false;
    }
    bool found = false;
    for (unsigned long i = 0; i < count; ++i) {
        found = found || reinterpret_cast<const Atom *>(data)[i] == atom;
    }
    XFree(data);
    return found;
}

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

std::string DesktopName(Desktop desktop)
{
    switch (desktop) {
    case Desktop::kOpenbox:
        return "Openbox";
    case Desktop::kWeston:
        return "Weston";
    case Desktop::kWestonWayland:
        return "WestonWayland";
    case Desktop::kSway:
        return "Sway";
    case Desktop::kXvfb:
        break;
    }
    return "Xvfb";
}

bool IsWayland(Desktop desktop)
{
    return desktop == Desktop::kWestonWayland || desktop == Desktop::kSway;
}

bool IsCompositor(Desktop desktop)
{
    return desktop != Desktop::kXvfb && desktop != Desktop::kOpenbox;
}

// Wait at most timeoutMs for ready() to hold while the child runs.
template <typename Ready>
static bool WaitWhileRunning(ChildProcess &child, int timeoutMs, Ready ready)
{
    for (int waited = 0; waited < timeoutMs && child.Running(); waited += 20) {
        if (ready()) {
            return true;
        }
        child.Wait(20);
    }
    return false;
}

bool XServer::Start(int width, int height, int depth, const std::string &dir, std::string *error,
                    const std::vector<std::string> &xvfbArgs, const Arrange &arrange)
{
    Stop();
    dir_ = dir;
    std::string log = "/xvfb.log";
    bool started = false;
    if (desktop_ == Desktop::kWeston || desktop_ == Desktop::kWestonWayland) {
        log = "/weston.log";
        started = StartWeston(width, height, error) &&
                  (desktop_ == Desktop::kWestonWayland || Connect(error));
    } else if (desktop_ == Desktop::kSway) {
        log = "/sway.log";
        started = StartSway(width, height, error) && StartSwayKeyboard(error);
    } else {
        started = StartXvfb(width, height, depth, xvfbArgs, error) && Connect(error) &&
                  (!arrange || arrange(display_, error));
        if (started && desktop_ == Desktop::kOpenbox) {
            log = "/openbox.log";
            started = StartOpenbox(error);
        }
    }
    if (!started) {
        *error += "\n" + ReadFile(dir_ + log);
        Stop();
    }
    return started;
}

bool XServer::StartXvfb(int width, int height, int depth, const std::vector<std::string> &args,
                        std::string *error)
{
    int fds[2];
    if (pipe(fds) != 0) {
        *error = std::string("pipe: ") + strerror(errno);
        return false;
    }
    fcntl(fds[0], F_SETFD, FD_CLOEXEC);
    std::string screen =
        std::to_string(width) + "x" + std::to_string(height) + "x" + std::to_string(depth);
    std::vector<std::string> argv{
        "Xvfb", "-displayfd", std::to_string(fds[1]), "-nolisten", "tcp", "-screen", "0", screen};
    argv.insert(argv.end(), args.begin(), args.end());
    bool started = server_.Start(argv, {}, error, ChildIo{fds[1], "", dir_ + "/xvfb.log"});
    close(fds[1]);
    std::string number;
    bool ready = started && ReadDisplayNumber(fds[0], 15000, &number);
    close(fds[0]);
    if (started && !ready) {
        *error = "Xvfb did not report a display within 15 s (" + server_.Wait(0).Describe() + ")";
    }
    name_ = ":" + number;
    return ready;
}

// Openbox says early in its start that it can make windows full-screen, and
// may still drop a window mapped before the start is over: it is ready once
// it has shown a window of ours.
bool XServer::StartOpenbox(std::string *error)
{
    // A configuration directory of its own keeps the user's settings out.
    if (!windowManager_.Start({"openbox", "--sm-disable"},
                              {DisplaySetting(), "XDG_CONFIG_HOME=" + dir_}, error,
                              ChildIo{-1, "", dir_ + "/openbox.log"})) {
        return false;
    }
    Window root = DefaultRootWindow(display_);
    Window probe = XCreateSimpleWindow(display_, root, 0, 0, 1, 1, 0, 0, 0);
    Atom fullscreen = XInternAtom(display_, "_NET_WM_STATE_FULLSCREEN", False);
    bool ready = false;
    for (int waited = 0; waited < 10000 && !ready && windowManager_.Running(); waited += 20) {
        XWindowAttributes attrs{};
        ready = XGetWindowAttributes(display_, probe, &attrs) && attrs.map_state == IsViewable;
        if (!ready && waited % 200 == 0 && HasAtom(display_, root, "_NET_SUPPORTED", fullscreen)) {
            XMapWindow(display_, probe);
        }
        windowManager_.Wait(20);
    }
    XDestroyWindow(display_, probe);
    XSync(display_, False);
    if (!ready) {
        *error =
            "openbox did not show a window within 10 s (" + windowManager_.Wait(0).Describe() + ")";
    }
    return ready;
}

// weston with its own runtime directory and socket, and one output of the
// given size; --debug lets weston-screenshooter take its picture. As the
// Xwayland desktop, it starts Xwayland on the display it names when the
// first X client connects.
bool XServer::StartWeston(int width, int height, std::string *error)
{
    std::string runtime = dir_ + "/runtime";
    // X servers make the socket directory when it is missing; weston does not.
    if (mkdir(runtime.c_str(), 0700) != 0 ||
        (mkdir("/tmp/.X11-unix", 01777) == 0 && chmod("/tmp/.X11-unix", 01777) != 0)) {
        *error = std::string("cannot make weston's directories: ") + strerror(errno);
        return false;
    }
    wayland_ = "tower-e2e";
    std::string log = dir_ + "/weston.log";
    std::vector<std::string> argv{"weston",
                                  "--backend=headless-backend.so",
                                  "--use-pixman",
                                  "--width=" + std::to_string(width),
                                  "--height=" + std::to_string(height),
                                  "--socket=" + wayland_,
                                  "--debug",
                                  "--idle-time=0",
                                  "--no-config"};
    if (desktop_ == Desktop::kWeston) {
        argv.emplace_back("--xwayland");
    }
    if (!server_.Start(argv, {"XDG_RUNTIME_DIR=" + runtime}, error, ChildIo{-1, "", log})) {
        return false;
    }
    // Clients that connect once the socket is there are served when weston
    // is ready.
    if (desktop_ == Desktop::kWestonWayland) {
        struct stat st {};
        std::string socket = runtime + "/" + wayland_;
        if (WaitWhileRunning(server_, 15000, [&] { return stat(socket.c_str(), &st) == 0; })) {
            return true;
        }
        *error = "weston made no socket within 15 s (" + server_.Wait(0).Describe() + ")";
        return false;
    }
    const std::regex said("xserver listening on display (:[0-9]+)");
    std::smatch display;
    if (WaitWhileRunning(server_, 15000, [&] {
            std::string text = ReadFile(log);
            return std::regex_search(text, display, said) && !(name_ = display[1]).empty();
        })) {
        return true;
    }
    *error = "weston named no X display within 15 s (" + server_.Wait(0).Describe() + ")";
    return false;
}

// sway headless, drawing with pixman, with one output of the given size in
// pixels at outputScale, and Xwayland waiting for its first client. It
// refuses to run as root, so then it runs as kSwayUser, in a runtime
// directory of that user's.
bool XServer::StartSway(int width, int height, std::string *error)
{
    const bool root = getuid() == 0;
    std::string runtime = dir_ + "/runtime";
    std::string config = dir_ + "/sway.conf";
    std::ofstream(config) << "output HEADLESS-1 mode " << width << "x" << height << " scale "
                          << outputScale_ << "\nxwayland enable\n";
    // The user must reach the runtime directory and the configuration.
    if (chmod(dir_.c_str(), 0711) != 0 || mkdir(runtime.c_str(), 0700) != 0 ||
        (root && chown(runtime.c_str(), kSwayUser, kSwayUser) != 0) ||
        chmod(config.c_str(), 0644) != 0 ||
        (mkdir("/tmp/.X11-unix", 01777) == 0 && chmod("/tmp/.X11-unix", 01777) != 0)) {
        *error = std::string("cannot make sway's files: ") + strerror(errno);
        return false;
    }
    std::vector<std::string> argv{"sway", "-c", config};
    if (root) {
        // The parent-death signal goes with the change of user, so it is
        // set again after it.
        argv.insert(argv.begin(), {"setpriv", "--reuid=" + std::to_string(kSwayUser),
                                   "--regid=" + std::to_string(kSwayUser), "--clear-groups",
                                   "--pdeathsig=SIGKILL"});
    }
    if (!server_.Start(argv,
                       {"XDG_RUNTIME_DIR=" + runtime, "WLR_BACKENDS=headless",
                        "WLR_RENDERER=pixman", "WLR_LIBINPUT_NO_DEVICES=1"},
                       error, ChildIo{-1, "", dir_ + "/sway.log"})) {
        return false;
    }
    // Its sockets' names are its own choice: wayland-0, wayland-1, ...
    auto findSockets = [&] {
        std::error_code ignored;
        for (const auto &entry : std::filesystem::directory_iterator(runtime, ignored)) {
            std::string name = entry.path().filename();
            if (name.rfind("wayland-", 0) == 0 && name.find('.') == std::string::npos) {
                wayland_ = name;
            } else if (name.rfind("sway-ipc.", 0) == 0) {
                swaySocket_ = entry.path();
            }
        }
        return !wayland_.empty() && !swaySocket_.empty();
    };
    // It answers once its configuration is in force and its output made.
    std::string ignored;
    if (WaitWhileRunning(server_, 15000, [&] {
            return findSockets() &&
                   SwayMsg({"-t", "get_outputs"}, &ignored).find("HEADLESS-1") != std::string::npos;
        })) {
        return true;
    }
    *error = "sway did not answer within 15 s (" + server_.Wait(0).Describe() + ")";
    return false;
}

// Headless sway has no keyboard until wtype makes a virtual one, and a
// client hears keys only from a keyboard it knew of when they were sent:
// one is made before the program starts and held for the whole test.
bool XServer::StartSwayKeyboard(std::string *error)
{
    if (!keyboard_.Start({"wtype", "-s", "600000"}, Env(), error)) {
        return false;
    }
    std::string ignored;
    if (WaitWhileRunning(keyboard_, 10000, [&] {
            return SwayMsg({"-t", "get_inputs"}, &ignored).find("\"keyboard\"") !=
                   std::string::npos;
        })) {
        return true;
    }
    *error = "sway shows no keyboard from wtype within 10 s (" + keyboard_.Wait(0).Describe() + ")";
    return false;
}

std::string XServer::SwayMsg(const std::vector<std::string> &args, std::string *error) const
{
    std::vector<std::string> argv{"swaymsg"};
    argv.insert(argv.end(), args.begin(), args.end());
    std::string out = dir_ + "/swaymsg.out";
    Exit e = RunToEnd(argv, Env(), 5000, error, ChildIo{-1, out, dir_ + "/swaymsg.err"});
    if (!(e.exited && e.byCode && e.code == 0)) {
        *error = "swaymsg: " + e.Describe() + " " + ReadFile(dir_ + "/swaymsg.err") + ReadFile(out);
        return "";
    }
    return ReadFile(out);
}

std::string XServer::SwayNode(const std::string &key, const std::string &value,
                              std::string *error) const
{
    std::string tree = SwayMsg({"-t", "get_tree"}, error);
    size_t at = tree.find("\"" + key + "\": \"" + value + "\"");
    if (at == std::string::npos) {
        return "";
    }
    // The braces around the key, counted out; no title or name of ours
    // holds one.
    size_t start = at;
    for (int depth = 0; start > 0; --start) {
        char c = tree[start - 1];
        if (c == '{' && depth-- == 0) {
            --start;
            break;
        }
        depth += c == '}';
    }
    size_t end = start;
    for (int depth = 0; end < tree.size(); ++end) {
        depth += tree[end] == '{';
        if (tree[end] == '}' && --depth == 0) {
            break;
        }
    }
    return tree.substr(start, end + 1 - start);
}

bool XServer::OfferX(std::string *error)
{
    // sway's Xwayland lets in only the user it runs as; xhost, run by sway,
    // starts it and lets us in too, and sway's own DISPLAY names it.
    const passwd *user = getpwuid(getuid());
    std::string file = dir_ + "/runtime/x-display";
    if (desktop_ != Desktop::kSway || !user ||
        SwayMsg({"exec", std::string("xhost +si:localuser:") + user->pw_name +
                             " && echo \"$DISPLAY\" > " + file},
                error)
            .empty()) {
        *error = "cannot ask sway for its Xwayland: " + *error;
        return false;
    }
    if (WaitWhileRunning(server_, 10000, [&] {
            std::string said = ReadFile(file);
            return said.size() > 1 && said.back() == '\n' &&
                   !(name_ = said.substr(0, said.size() - 1)).empty();
        })) {
        return true;
    }
    *error = "sway's Xwayland did not start within 10 s";
    return false;
}

bool XServer::Connect(std::string *error)
{
    display_ = XOpenDisplay(name_.c_str());
    if (!display_) {
        *error = "cannot connect to the new X server on " + name_;
        return false;
    }
    return true;
}

std::vector<std::string> XServer::Env() const
{
    // An empty setting is none: on X the program must not find a compositor
    // it would run on instead.
    std::vector<std::string> env{DisplaySetting(), "WAYLAND_DISPLAY=" + wayland_};
    if (IsCompositor(desktop_)) {
        env.push_back("XDG_RUNTIME_DIR=" + dir_ + "/runtime");
    }
    if (desktop_ == Desktop::kWeston) {
        env.emplace_back("TOWER_BACKEND=x11");
    }
    if (desktop_ == Desktop::kSway) {
        env.push_back("SWAYSOCK=" + swaySocket_);
    }
    return env;
}

bool XServer::Grab(Screenshot *shot, std::string *error, std::string *png)
{
    if (!IsCompositor(desktop_)) {
        return GrabScreen(display_, shot, error);
    }
    std::string shots = dir_ + "/shot" + std::to_string(++shots_);
    if (desktop_ == Desktop::kSway) {
        std::string file = shots + ".png";
        Exit took = RunToEnd({"grim", file}, Env(), 10000, error);
        if (!(took.exited && took.byCode && took.code == 0)) {
            *error = "grim: " + took.Describe() + " " + *error;
            return false;
        }
        if (png) {
            *png = file;
        }
        return LoadPng(file, shot, error);
    }
    // weston-screenshooter names its file by the time, in XDG_PICTURES_DIR.
    std::vector<std::string> env = Env();
    env.push_back("XDG_PICTURES_DIR=" + shots);
    Exit took;
    if (mkdir(shots.c_str(), 0700) == 0) {
        took = RunToEnd({"weston-screenshooter"}, env, 10000, error);
    }
    std::error_code ignored;
    for (const auto &file : std::filesystem::directory_iterator(shots, ignored)) {
        if (png) {
            *png = file.path();
        }
        return LoadPng(file.path(), shot, error);
    }
    *error = "weston-screenshooter saved nothing (" + took.Describe() + ") " + *error;
    return false;
}

void XServer::Stop()
{
    if (display_) {
        XCloseDisplay(display_);
        display_ = nullptr;
    }
    windowManager_.Kill();
    keyboard_.Kill();
    // weston and sway remove their Xwayland's lock file and socket only when
    // they are asked to quit.
    if (IsCompositor(desktop_)) {
        server_.Signal(SIGTERM);
        server_.Wait(2000);
    }
    server_.Kill();
    name_.clear();
    wayland_.clear();
    swaySocket_.clear();
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

// The first output and a mode of that size for it, made when the server has
// none (Xvfb offers only the screen's own size; timings do not matter to it).
static bool FirstOutputMode(Display *display, XRRScreenResources *resources, int width, int height,
                            RROutput *output, RRCrtc *crtc, RRMode *mode, std::string *error)
{
    if (resources->noutput < 1) {
        *error = "RandR reports no output";
        return false;
    }
    *output = resources->outputs[0];
    XRROutputInfo *info = XRRGetOutputInfo(display, resources, *output);
    *crtc = info ? info->crtc : 0;
    *mode = 0;
    for (int i = 0; info && i < info->nmode && !*mode; ++i) {
        for (int j = 0; j < resources->nmode; ++j) {
            const XRRModeInfo &m = resources->modes[j];
            if (m.id == info->modes[i] && static_cast<int>(m.width) == width &&
                static_cast<int>(m.height) == height) {
                *mode = m.id;
            }
        }
    }
    if (info) {
        XRRFreeOutputInfo(info);
    }
    if (!*crtc) {
        *error = "the first RandR output has no CRTC";
        return false;
    }
    if (!*mode) {
        std::string name = std::to_string(width) + "x" + std::to_string(height) + "_tower";
        XRRModeInfo made{};
        made.width = static_cast<unsigned>(width);
        made.height = static_cast<unsigned>(height);
        made.dotClock =
            60ul * static_cast<unsigned>(width + 160) * static_cast<unsigned>(height + 40);
        made.hSyncStart = made.width + 40;
        made.hSyncEnd = made.width + 120;
        made.hTotal = made.width + 160;
        made.vSyncStart = made.height + 3;
        made.vSyncEnd = made.height + 9;
        made.vTotal = made.height + 40;
        made.name = name.data();
        made.nameLength = static_cast<unsigned>(name.size());
        *mode = XRRCreateMode(display, DefaultRootWindow(display), &made);
        XRRAddOutputMode(display, *output, *mode);
    }
    return true;
}

bool SetPrimaryOutput(Display *display, int width, int height, std::string *error)
{
    Window root = DefaultRootWindow(display);
    XRRScreenResources *resources = XRRGetScreenResources(display, root);
    RROutput output = 0;
    RRCrtc crtc = 0;
    RRMode mode = 0;
    if (!resources ||
        !FirstOutputMode(display, resources, width, height, &output, &crtc, &mode, error)) {
        if (resources) {
            XRRFreeScreenResources(resources);
        }
        return false;
    }
    Status status = XRRSetCrtcConfig(display, resources, crtc, CurrentTime, 0, 0, mode, RR_Rotate_0,
                                     &output, 1);
    XRRSetOutputPrimary(display, root, output);
    XSync(display, False);
    XRRFreeScreenResources(resources);
    if (status != RRSetConfigSuccess || XRRGetOutputPrimary(display, root) != output) {
        *error = "the X server refused a " + std::to_string(width) + "x" + std::to_string(height) +
                 " mode or the primary output";
        return false;
    }
    return true;
}

bool SetMonitors(Display *display, const std::vector<Monitor> &monitors, std::string *error)
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
    for (size_t i = 0; i < monitors.size(); ++i) {
        const Monitor &m = monitors[i];
        XRRMonitorInfo *info = XRRAllocateMonitor(display, i == 0 ? 1 : 0);
        info->name = XInternAtom(display, m.name, False);
        info->primary = m.primary;
        info->x = m.x;
        info->y = m.y;
        info->width = m.width;
        info->height = m.height;
        // 96 dots to the inch.
        info->mwidth = m.width * 254 / 960;
        info->mheight = m.height * 254 / 960;
        if (i == 0) {
            info->outputs[0] = resources->outputs[0];
        }
        XRRSetMonitor(display, root, info);
        XFree(info);
    }
    XRRFreeScreenResources(resources);
    int count = 0;
    XRRMonitorInfo *now = XRRGetMonitors(display, root, True, &count);
    if (now) {
        XRRFreeMonitors(now);
    }
    if (count != static_cast<int>(monitors.size())) {
        *error = "the X server shows " + std::to_string(count) + " monitors, not " +
                 std::to_string(monitors.size());
        return false;
    }
    return true;
}

bool ResizeScreen(Display *display, int width, int height, std::string *error)
{
    Window root = DefaultRootWindow(display);
    XWindowAttributes before{};
    XRRScreenResources *resources = XRRGetScreenResources(display, root);
    RROutput output = 0;
    RRCrtc crtc = 0;
    RRMode mode = 0;
    if (!XGetWindowAttributes(display, root, &before) || !resources ||
        !FirstOutputMode(display, resources, width, height, &output, &crtc, &mode, error)) {
        if (resources) {
            XRRFreeScreenResources(resources);
        }
        return false;
    }
    // The output's picture must fit the screen at every step: a growing
    // screen grows first, a shrinking one shrinks last.
    auto setSize = [&](int w, int h) {
        XRRSetScreenSize(display, root, w, h, w * 254 / 960, h * 254 / 960);
    };
    if (width > before.width || height > before.height) {
        setSize(std::max(width, before.width), std::max(height, before.height));
    }
    Status status = XRRSetCrtcConfig(display, resources, crtc, CurrentTime, 0, 0, mode, RR_Rotate_0,
                                     &output, 1);
    setSize(width, height);
    XSync(display, False);
    XRRFreeScreenResources(resources);
    XWindowAttributes after{};
    if (status != RRSetConfigSuccess || !XGetWindowAttributes(display, root, &after) ||
        after.width != width || after.height != height) {
        *error = "the X server did not make its screen " + std::to_string(width) + "x" +
                 std::to_string(height);
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

void SendNetCloseWindow(Display *display, Window window)
{
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(display, "_NET_CLOSE_WINDOW", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = CurrentTime;
    event.xclient.data.l[1] = 2; // from a pager or taskbar: the user's own request
    XSendEvent(display, DefaultRootWindow(display), False,
               SubstructureRedirectMask | SubstructureNotifyMask, &event);
    XFlush(display);
}

bool HasNetWmState(Display *display, Window window, const char *state)
{
    return HasAtom(display, window, "_NET_WM_STATE", XInternAtom(display, state, False));
}

Window WaitForFocus(Display *display, Window want, int timeoutMs)
{
    Window focus = 0;
    for (int waited = 0;; waited += 20) {
        int revert = 0;
        XGetInputFocus(display, &focus, &revert);
        if (focus == want || waited >= timeoutMs) {
            return focus;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

} // namespace e2e
