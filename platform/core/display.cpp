// The screen's size and the display mode.
#include "core.h"

#include <cstdio>

using namespace platform;

namespace {

// Refuse a colour depth no pixel format has, saying so.
LONG RefuseDepth(int bitsPerPixel)
{
    char detail[64];
    std::snprintf(detail, sizeof detail, "%d bits per pixel", bitsPerPixel);
    ReportError("no such colour depth", detail);
    return DISP_CHANGE_BADMODE;
}

// A backend that leaves the display-mode slots empty cannot change the mode
// (an X server's depth is fixed for the life of the screen, and its size is
// the user's to change; a page has the browser's). So the only mode it can
// "switch" to is the one already there, in any depth a pixel format can
// stand in for, and nothing changes.
LONG SetFixedDisplayMode(int width, int height, int bitsPerPixel, int currentWidth,
                         int currentHeight)
{
    if (width != currentWidth || height != currentHeight) {
        const char *screen = g_core.backend->screenName;
        char detail[160];
        std::snprintf(detail, sizeof detail, "%dx%d asked for, the %s is %dx%d", width, height,
                      screen != nullptr ? screen : "screen", currentWidth, currentHeight);
        ReportError("cannot change the screen's size", detail);
        return DISP_CHANGE_BADMODE;
    }
    if (bitsPerPixel != 0 && bitsPerPixel != 16 && bitsPerPixel != 24 && bitsPerPixel != 32) {
        return RefuseDepth(bitsPerPixel);
    }
    return DISP_CHANGE_SUCCESSFUL;
}

LONG RestoreDisplayMode()
{
    // A mode that cannot change was never changed: nothing to put back.
    return g_core.backend->restoreDisplayMode != nullptr ? g_core.backend->restoreDisplayMode()
                                                         : DISP_CHANGE_SUCCESSFUL;
}

} // namespace

int WINAPI GetSystemMetrics(int index)
{
    int width = 0;
    int height = 0;
    g_core.backend->screenSize(&width, &height);
    switch (index) {
    case SM_CXSCREEN:
        return width;
    case SM_CYSCREEN:
        return height;
    default:
        return 0;
    }
}

LONG WINAPI ChangeDisplaySettingsA(DEVMODEA *mode, DWORD flags)
{
    if (mode == nullptr) {
        if (flags != 0) {
            ReportError("cannot restore the display mode", "flags other than 0 given");
            return DISP_CHANGE_BADPARAM;
        }
        return RestoreDisplayMode();
    }
    if (mode->dmSize < offsetof(DEVMODEA, dmICMMethod)) {
        ReportError("cannot change the display mode", "its DEVMODEA is too short");
        return DISP_CHANGE_BADMODE;
    }
    // Fields the caller did not name keep their current values.
    int currentWidth = 0;
    int currentHeight = 0;
    g_core.backend->screenSize(&currentWidth, &currentHeight);
    int width = currentWidth;
    int height = currentHeight;
    int bits = 0; // the current depth
    if ((mode->dmFields & DM_PELSWIDTH) != 0) {
        width = static_cast<int>(mode->dmPelsWidth);
    }
    if ((mode->dmFields & DM_PELSHEIGHT) != 0) {
        height = static_cast<int>(mode->dmPelsHeight);
    }
    if ((mode->dmFields & DM_BITSPERPEL) != 0) {
        bits = static_cast<int>(mode->dmBitsPerPel);
    }
    // No size is what a program asks for when GetSystemMetrics found no
    // screen to measure; the backend that found none has said so.
    if (width <= 0 || height <= 0) {
        return DISP_CHANGE_BADMODE;
    }
    if (g_core.backend->setDisplayMode == nullptr) {
        return SetFixedDisplayMode(width, height, bits, currentWidth, currentHeight);
    }
    return bits < 0 ? RefuseDepth(bits) : g_core.backend->setDisplayMode(width, height, bits);
}
