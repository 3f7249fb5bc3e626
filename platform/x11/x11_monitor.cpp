// The monitors as RandR describes them.
#include "x11_platform.h"

#include <X11/extensions/Xrandr.h>

namespace x11 {

namespace {

// The primary output's rectangle, where RandR names one that is lit. None
// named, or none lit, is no failure: the whole screen stands in for it.
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
    if (output == nullptr) {
        X11ReportError("RandR gave no information on the primary output");
    } else if (output->connection == RR_Connected && output->crtc != None) {
        XRRCrtcInfo *crtc = XRRGetCrtcInfo(g_x11.display, resources, output->crtc);
        if (crtc == nullptr) {
            X11ReportError("RandR gave no information on the primary output's CRTC");
        } else {
            // The CRTC's size already allows for rotation; a CRTC without
            // a mode is off.
            if (crtc->width > 0 && crtc->height > 0) {
                *x = crtc->x;
                *y = crtc->y;
                *width = static_cast<int>(crtc->width);
                *height = static_cast<int>(crtc->height);
                found = true;
            }
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

void X11InitRandR()
{
    int eventBase = 0;
    int errorBase = 0;
    int major = 0;
    int minor = 0;
    // Version 1.3 brings the primary output and the cheap resource query.
    // Without it the whole screen stands in for the primary monitor, which
    // is no failure: a server with one monitor needs no more.
    g_x11.randr = XRRQueryExtension(g_x11.display, &eventBase, &errorBase) != 0 &&
                  XRRQueryVersion(g_x11.display, &major, &minor) != 0 &&
                  (major > 1 || (major == 1 && minor >= 3));
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

} // namespace x11
