// The screen's size and the display mode.
#include "core.h"

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
