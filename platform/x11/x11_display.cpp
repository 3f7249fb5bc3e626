// The connection to the X server, what it tells us about its window manager
// and monitors, and the display mode, which an X server cannot really change.
#include "x11_platform.h"

#include <X11/Xatom.h>
#include <X11/extensions/Xrandr.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>

namespace x11 {

State g_x11 = {};

namespace {

// Whether a window manager that follows EWMH runs and can make a window
// full-screen. Its check window names itself, which tells a live manager
// from a stale property left by one that died.
bool DetectEwmhFullscreen()
{
    const Atoms &a = g_x11.atoms;
    Window *rootCheck = nullptr;
    if (X11GetWindowProperty(g_x11.root, a.netSupportingWmCheck, XA_WINDOW,
                             reinterpret_cast<unsigned char **>(&rootCheck)) == 0) {
        return false;
    }
    const Window check = *rootCheck;
    XFree(rootCheck);

    Window *selfCheck = nullptr;
    X11TrapErrors();
    const unsigned long count = X11GetWindowProperty(
        check, a.netSupportingWmCheck, XA_WINDOW, reinterpret_cast<unsigned char **>(&selfCheck));
    const int error = X11UntrapErrors();
    if (count == 0 || error != Success) {
        if (count != 0) {
            XFree(selfCheck);
        }
        return false;
    }
    const bool live = *selfCheck == check;
    XFree(selfCheck);
    if (!live) {
        return false;
    }

    Atom *supported = nullptr;
    const unsigned long atoms = X11GetWindowProperty(
        g_x11.root, a.netSupported, XA_ATOM, reinterpret_cast<unsigned char **>(&supported));
    bool state = false;
    bool fullscreen = false;
    for (unsigned long i = 0; i < atoms; ++i) {
        state = state || supported[i] == a.netWmState;
        fullscreen = fullscreen || supported[i] == a.netWmStateFullscreen;
    }
    if (atoms != 0) {
        XFree(supported);
    }
    return state && fullscreen;
}

bool InternAtoms()
{
    Atoms &a = g_x11.atoms;
    struct Named {
        const char *name;
        Atom *atom;
    };
    const Named names[] = {
        {"WM_PROTOCOLS", &a.wmProtocols},
        {"WM_DELETE_WINDOW", &a.wmDeleteWindow},
        {"WM_STATE", &a.wmState},
        {"WM_TRANSIENT_FOR", &a.wmTransientFor},
        {"UTF8_STRING", &a.utf8String},
        {"_NET_SUPPORTED", &a.netSupported},
        {"_NET_SUPPORTING_WM_CHECK", &a.netSupportingWmCheck},
        {"_NET_WM_NAME", &a.netWmName},
        {"_NET_WM_PID", &a.netWmPid},
        {"_NET_WM_PING", &a.netWmPing},
        {"_NET_WM_STATE", &a.netWmState},
        {"_NET_WM_STATE_FULLSCREEN", &a.netWmStateFullscreen},
        {"_NET_WM_WINDOW_TYPE", &a.netWmWindowType},
        {"_NET_WM_WINDOW_TYPE_DIALOG", &a.netWmWindowTypeDialog},
        {"_MOTIF_WM_HINTS", &a.motifWmHints},
    };
    constexpr int count = sizeof names / sizeof names[0];
    char *list[count];
    Atom atoms[count];
    for (int i = 0; i < count; ++i) {
        list[i] = const_cast<char *>(names[i].name);
    }
    if (XInternAtoms(g_x11.display, list, count, False, atoms) == 0) {
        X11ReportError("cannot look up the X atoms the program needs");
        return false;
    }
    for (int i = 0; i < count; ++i) {
        *names[i].atom = atoms[i];
    }
    return true;
}

void InitRandR()
{
    int eventBase = 0;
    int errorBase = 0;
    int major = 0;
    int minor = 0;
    // Version 1.3 brings the primary output and the cheap resource query.
    g_x11.randr = XRRQueryExtension(g_x11.display, &eventBase, &errorBase) != 0 &&
                  XRRQueryVersion(g_x11.display, &major, &minor) != 0 &&
                  (major > 1 || (major == 1 && minor >= 3));
}

// The primary output's rectangle, where RandR names one that is lit.
bool RandRPrimary(int *x, int *y, int *width, int *height)
{
    const RROutput primary = XRRGetOutputPrimary(g_x11.display, g_x11.root);
    if (primary == None) {
        return false;
    }
    XRRScreenResources *resources = XRRGetScreenResourcesCurrent(g_x11.display, g_x11.root);
    if (resources == nullptr) {
        X11ReportError("RandR gave no screen resources");
        return false;
    }
    bool found = false;
    XRROutputInfo *output = XRRGetOutputInfo(g_x11.display, resources, primary);
    if (output != nullptr && output->connection == RR_Connected && output->crtc != None) {
        XRRCrtcInfo *crtc = XRRGetCrtcInfo(g_x11.display, resources, output->crtc);
        // The CRTC's size already allows for rotation.
        if (crtc != nullptr && crtc->width > 0 && crtc->height > 0) {
            *x = crtc->x;
            *y = crtc->y;
            *width = static_cast<int>(crtc->width);
            *height = static_cast<int>(crtc->height);
            found = true;
        }
        if (crtc != nullptr) {
            XRRFreeCrtcInfo(crtc);
        }
    }
    if (output != nullptr) {
        XRRFreeOutputInfo(output);
    }
    XRRFreeScreenResources(resources);
    return found;
}

} // namespace

bool X11OpenDisplay()
{
    X11InstallErrorHandlers();
    g_x11.display = XOpenDisplay(nullptr);
    if (g_x11.display == nullptr) {
        const char *name = std::getenv("DISPLAY");
        if (name == nullptr || name[0] == '\0') {
            X11ReportError("no X display to run on (DISPLAY is not set)");
        } else {
            X11ReportError("cannot open the X display", name);
        }
        return false;
    }
    // A write to a server that went away must come back as an error that
    // Xlib reports, not kill us silently.
    std::signal(SIGPIPE, SIG_IGN);
    g_x11.screen = DefaultScreen(g_x11.display);
    g_x11.root = RootWindow(g_x11.display, g_x11.screen);
    if (!InternAtoms()) {
        XCloseDisplay(g_x11.display);
        g_x11.display = nullptr;
        return false;
    }
    g_x11.ewmhFullscreen = DetectEwmhFullscreen();
    InitRandR();
    return true;
}

unsigned long X11GetWindowProperty(Window window, Atom property, Atom type, unsigned char **value)
{
    Atom actualType = None;
    int actualFormat = 0;
    unsigned long count = 0;
    unsigned long bytesAfter = 0;
    *value = nullptr;
    const int status = XGetWindowProperty(g_x11.display, window, property, 0, 1024, False, type,
                                          &actualType, &actualFormat, &count, &bytesAfter, value);
    if (status != Success || actualType != type) {
        if (*value != nullptr) {
            XFree(*value);
            *value = nullptr;
        }
        return 0;
    }
    if (count == 0 && *value != nullptr) {
        XFree(*value);
        *value = nullptr;
    }
    return count;
}

void X11PrimaryMonitor(int *x, int *y, int *width, int *height)
{
    if (g_x11.randr && RandRPrimary(x, y, width, height)) {
        return;
    }
    *x = 0;
    *y = 0;
    *width = DisplayWidth(g_x11.display, g_x11.screen);
    *height = DisplayHeight(g_x11.display, g_x11.screen);
}

void X11ScreenSize(int *width, int *height)
{
    if (g_x11.display == nullptr) {
        *width = 0;
        *height = 0;
        return;
    }
    int x = 0;
    int y = 0;
    X11PrimaryMonitor(&x, &y, width, height);
}

// An X server's depth is fixed for the life of the screen and its size is
// the user's to change, so the only mode we can "switch" to is the one that
// is already there, in any depth a GL pixel format can stand in for.
LONG X11SetDisplayMode(int width, int height, int bitsPerPixel)
{
    if (g_x11.display == nullptr) {
        return DISP_CHANGE_BADMODE;
    }
    int currentWidth = 0;
    int currentHeight = 0;
    X11ScreenSize(&currentWidth, &currentHeight);
    char detail[160];
    if (width != currentWidth || height != currentHeight) {
        std::snprintf(detail, sizeof detail, "%dx%d asked for, the screen is %dx%d", width, height,
                      currentWidth, currentHeight);
        X11ReportError("cannot change the screen's size", detail);
        return DISP_CHANGE_BADMODE;
    }
    if (bitsPerPixel != 0 && bitsPerPixel != 16 && bitsPerPixel != 24 && bitsPerPixel != 32) {
        std::snprintf(detail, sizeof detail, "%d bits per pixel", bitsPerPixel);
        X11ReportError("no such colour depth", detail);
        return DISP_CHANGE_BADMODE;
    }
    return DISP_CHANGE_SUCCESSFUL;
}

// Nothing was changed, so there is nothing to put back.
LONG X11RestoreDisplayMode()
{
    return DISP_CHANGE_SUCCESSFUL;
}

} // namespace x11
