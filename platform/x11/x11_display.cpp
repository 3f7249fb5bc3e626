// The connection to the X server, the atoms we name things with, and what the
// server tells us about its window manager.
#include "x11_platform.h"

#include <X11/Xatom.h>

#include <cstdio>
#include <cstdlib>

namespace x11 {

State g_x11 = {};

namespace {

// Whether a window manager that follows EWMH runs, and what it can do. Its
// check window names itself, which tells a live manager from a stale
// property left by one that died.
void DetectWindowManager()
{
    const Atoms &a = g_x11.atoms;
    Window *rootCheck = nullptr;
    if (X11GetWindowProperty(g_x11.root, a.netSupportingWmCheck, XA_WINDOW,
                             reinterpret_cast<unsigned char **>(&rootCheck)) == 0) {
        return;
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
        return;
    }
    const bool live = *selfCheck == check;
    XFree(selfCheck);
    if (!live) {
        return;
    }
    g_x11.windowManager = true;

    Atom *supported = nullptr;
    const unsigned long atoms = X11GetWindowProperty(
        g_x11.root, a.netSupported, XA_ATOM, reinterpret_cast<unsigned char **>(&supported));
    bool state = false;
    bool fullscreen = false;
    bool monitors = false;
    for (unsigned long i = 0; i < atoms; ++i) {
        state = state || supported[i] == a.netWmState;
        fullscreen = fullscreen || supported[i] == a.netWmStateFullscreen;
        monitors = monitors || supported[i] == a.netWmFullscreenMonitors;
    }
    if (atoms != 0) {
        XFree(supported);
    }
    g_x11.ewmhFullscreen = state && fullscreen;
    g_x11.ewmhFullscreenMonitors = g_x11.ewmhFullscreen && monitors;
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
        {"UTF8_STRING", &a.utf8String},
        {"_NET_SUPPORTED", &a.netSupported},
        {"_NET_SUPPORTING_WM_CHECK", &a.netSupportingWmCheck},
        {"_NET_WM_FULLSCREEN_MONITORS", &a.netWmFullscreenMonitors},
        {"_NET_WM_ICON", &a.netWmIcon},
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

} // namespace

bool X11OpenDisplay(const char *alsoTried)
{
    g_x11.display = XOpenDisplay(nullptr);
    if (g_x11.display == nullptr) {
        const char *name = std::getenv("DISPLAY");
        const bool named = name != nullptr && name[0] != '\0';
        char detail[300];
        if (named) {
            std::snprintf(detail, sizeof detail, "DISPLAY is \"%.256s\"", name);
        } else {
            std::snprintf(detail, sizeof detail, "DISPLAY is %s",
                          name == nullptr ? "not set" : "empty");
        }
        if (alsoTried != nullptr) {
            char both[600];
            std::snprintf(both, sizeof both, "%s and %s", alsoTried, detail);
            X11ReportError("no display to run on", both);
        } else {
            X11ReportError(named ? "cannot open the X display" : "no X display to run on", detail);
        }
        return false;
    }
    g_x11.screen = DefaultScreen(g_x11.display);
    g_x11.root = RootWindow(g_x11.display, g_x11.screen);
    if (!InternAtoms()) {
        XCloseDisplay(g_x11.display);
        g_x11.display = nullptr;
        return false;
    }
    DetectWindowManager();
    X11InitRandR();
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

} // namespace x11
