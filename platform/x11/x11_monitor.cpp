// The monitors as RandR describes them, following them as they change.
#include "x11_platform.h"

#include <X11/extensions/Xrandr.h>

namespace x11 {

namespace {

Monitor WholeScreen()
{
    return Monitor{0, 0, DisplayWidth(g_x11.display, g_x11.screen),
                   DisplayHeight(g_x11.display, g_x11.screen), -1};
}

// RandR 1.5's monitors: the primary one, else the one at the screen's
// origin, else the first. Its place in the list of active monitors is also
// its Xinerama number, which is how EWMH names monitors.
bool PrimaryOfMonitors(Monitor *primary)
{
    int count = 0;
    XRRMonitorInfo *monitors = XRRGetMonitors(g_x11.display, g_x11.root, True, &count);
    if (monitors == nullptr) {
        // Every monitor may be off, which is no failure.
        if (count < 0) {
            X11ReportError("RandR gave no list of monitors");
        }
        return false;
    }
    int chosen = 0;
    for (int i = count - 1; i >= 0; --i) {
        if (monitors[i].x == 0 && monitors[i].y == 0) {
            chosen = i;
        }
    }
    for (int i = 0; i < count; ++i) {
        if (monitors[i].primary) {
            chosen = i;
            break;
        }
    }
    const XRRMonitorInfo &m = monitors[chosen];
    *primary = Monitor{m.x, m.y, m.width, m.height, chosen};
    XRRFreeMonitors(monitors);
    return primary->width > 0 && primary->height > 0;
}

// A CRTC's rectangle when it is lit; its size already allows for rotation,
// and one without a mode is off.
bool LitCrtc(XRRScreenResources *resources, RRCrtc id, Monitor *monitor)
{
    XRRCrtcInfo *crtc = XRRGetCrtcInfo(g_x11.display, resources, id);
    if (crtc == nullptr) {
        X11ReportError("RandR gave no information on a CRTC");
        return false;
    }
    const bool lit = crtc->mode != None && crtc->width > 0 && crtc->height > 0;
    if (lit) {
        *monitor = Monitor{crtc->x, crtc->y, static_cast<int>(crtc->width),
                           static_cast<int>(crtc->height), -1};
    }
    XRRFreeCrtcInfo(crtc);
    return lit;
}

// Before RandR 1.5: the primary output's CRTC, else the first lit one.
bool PrimaryOfCrtcs(Monitor *primary)
{
    XRRScreenResources *resources = XRRGetScreenResourcesCurrent(g_x11.display, g_x11.root);
    if (resources == nullptr) {
        X11ReportError("RandR gave no screen resources");
        return false;
    }
    bool found = false;
    const RROutput output = XRRGetOutputPrimary(g_x11.display, g_x11.root);
    if (output != None) {
        XRROutputInfo *info = XRRGetOutputInfo(g_x11.display, resources, output);
        if (info == nullptr) {
            X11ReportError("RandR gave no information on the primary output");
        } else {
            found = info->connection == RR_Connected && info->crtc != None &&
                    LitCrtc(resources, info->crtc, primary);
            XRRFreeOutputInfo(info);
        }
    }
    for (int i = 0; i < resources->ncrtc && !found; ++i) {
        found = LitCrtc(resources, resources->crtcs[i], primary);
    }
    XRRFreeScreenResources(resources);
    return found;
}

Monitor ReadPrimaryMonitor()
{
    Monitor primary = {};
    if (g_x11.randrMonitors && PrimaryOfMonitors(&primary)) {
        return primary;
    }
    if (g_x11.randr && PrimaryOfCrtcs(&primary)) {
        return primary;
    }
    return WholeScreen();
}

bool SameMonitor(const Monitor &a, const Monitor &b)
{
    return a.x == b.x && a.y == b.y && a.width == b.width && a.height == b.height &&
           a.index == b.index;
}

} // namespace

void X11InitRandR()
{
    int errorBase = 0;
    int major = 0;
    int minor = 0;
    // Version 1.3 brings the primary output and the cheap resource query,
    // 1.5 the monitors a desktop really shows. Without RandR the whole
    // screen stands in for the primary monitor, which is no failure: such a
    // server has one monitor and never changes it.
    g_x11.randr = XRRQueryExtension(g_x11.display, &g_x11.randrEventBase, &errorBase) != 0 &&
                  XRRQueryVersion(g_x11.display, &major, &minor) != 0 &&
                  (major > 1 || (major == 1 && minor >= 3));
    g_x11.randrMonitors = g_x11.randr && (major > 1 || minor >= 5);
    if (g_x11.randr) {
        XRRSelectInput(g_x11.display, g_x11.root,
                       RRScreenChangeNotifyMask | RRCrtcChangeNotifyMask |
                           RROutputChangeNotifyMask);
        // A monitor defined or removed changes no CRTC: the server says so
        // only with the root window's ConfigureNotify.
        XSelectInput(g_x11.display, g_x11.root, StructureNotifyMask);
    }
    g_x11.primary = ReadPrimaryMonitor();
}

Monitor X11PrimaryMonitor()
{
    return g_x11.primary;
}

bool X11HandleScreenEvent(XEvent &event)
{
    if (!g_x11.randr) {
        return false;
    }
    const int type = event.type - g_x11.randrEventBase;
    const bool rootConfigured = event.type == ConfigureNotify && event.xany.window == g_x11.root;
    if (type != RRScreenChangeNotify && type != RRNotify && !rootConfigured) {
        return false;
    }
    // Xlib keeps the screen's size for DisplayWidth; only these two events
    // tell it, and it ignores any other.
    if (type == RRScreenChangeNotify || rootConfigured) {
        XRRUpdateConfiguration(&event);
    }
    // One change arrives as several events; the rectangle is read again for
    // each, and the windows follow only when it moved.
    const Monitor primary = ReadPrimaryMonitor();
    if (!SameMonitor(primary, g_x11.primary)) {
        g_x11.primary = primary;
        X11FollowPrimaryMonitor();
    }
    return true;
}

void X11ScreenSize(int *width, int *height)
{
    *width = g_x11.primary.width;
    *height = g_x11.primary.height;
}

} // namespace x11
