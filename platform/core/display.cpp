// The screen's size and the display mode.
#include "core.h"

#include <cstdio>

using namespace platform;

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
        return flags == 0 ? g_core.backend->restoreDisplayMode() : DISP_CHANGE_BADPARAM;
    }
    if (mode->dmSize < offsetof(DEVMODEA, dmICMMethod)) {
        return DISP_CHANGE_BADMODE;
    }
    // Fields the caller did not name keep their current values.
    int width = 0;
    int height = 0;
    g_core.backend->screenSize(&width, &height);
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
    if (width <= 0 || height <= 0 || bits < 0) {
        return DISP_CHANGE_BADMODE;
    }
    return g_core.backend->setDisplayMode(width, height, bits);
}

const char *platform::FixedModeRefusal(int width, int height, int bitsPerPixel, int currentWidth,
                                       int currentHeight, const char *screen, char *detail,
                                       std::size_t detailSize)
{
    if (width != currentWidth || height != currentHeight) {
        std::snprintf(detail, detailSize, "%dx%d asked for, the %s is %dx%d", width, height,
                      screen, currentWidth, currentHeight);
        return "cannot change the screen's size";
    }
    if (bitsPerPixel != 0 && bitsPerPixel != 16 && bitsPerPixel != 24 && bitsPerPixel != 32) {
        std::snprintf(detail, detailSize, "%d bits per pixel", bitsPerPixel);
        return "no such colour depth";
    }
    return nullptr;
}
