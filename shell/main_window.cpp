// The program's window and the display mode it runs in.
#include "program_state.h"

#include <string.h>

void SetDisplayMode(int width, int height, int bits)
{
    DEVMODEA mode;
    memset(&mode, 0, sizeof mode);
    mode.dmSize = sizeof mode;
    mode.dmPelsWidth = width;
    mode.dmPelsHeight = height;
    mode.dmBitsPerPel = bits;
    mode.dmFields = DM_BITSPERPEL | DM_PELSWIDTH | DM_PELSHEIGHT;

    // CDS_FULLSCREEN keeps the change out of the registry, so restoring the
    // registry mode undoes it.
    if (ChangeDisplaySettingsA(&mode, CDS_FULLSCREEN) != DISP_CHANGE_SUCCESSFUL) {
        // Teardown must not restore a mode that never changed.
        g_fullscreen = 0;
        g_exitCode = 1;
        MessageBoxA(NULL, "Your system doesn't support this screen resolution", "Display Error",
                    MB_OK);
        TearDownGL();
    }
}

void CreateMainWindow(HINSTANCE instance, int width, int height, int fullscreen)
{
    const int screenW = GetSystemMetrics(SM_CXSCREEN);
    const int screenH = GetSystemMetrics(SM_CYSCREEN);

    int x = screenW / 2 - width / 2;
    int y = screenH / 2 - height / 2;
    DWORD style = WS_OVERLAPPEDWINDOW;
    g_fullscreen = 0;

    if (fullscreen == 1) {
        style = WS_POPUP;
        g_fullscreen = 1;
        width = g_width = GetSystemMetrics(SM_CXSCREEN);
        height = g_height = GetSystemMetrics(SM_CYSCREEN);
        x = 0;
        y = 0;
        SetDisplayMode(g_width, g_height, 16);
    }

    // The window procedure does all of the OpenGL set-up inside this call.
    g_hWnd =
        CreateWindowExA(0, "GLClass", "OpenGL base code", style | WS_CLIPSIBLINGS | WS_CLIPCHILDREN,
                        x, y, width, height, NULL, NULL, instance, NULL);
    // Without a window nothing would ever post the quit request, and the
    // display would stay switched until someone pressed Escape.
    if (g_hWnd == NULL) {
        g_exitCode = 1;
        MessageBoxA(NULL, "Failed to create the window", "Window Creation Error", MB_OK);
        TearDownGL();
    }
}
