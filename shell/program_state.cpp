// The shared program state, and teardown.
#include "program_state.h"

HWND g_hWnd = NULL;
HDC g_hDC = NULL;
HGLRC g_hRC = NULL;
int g_width = 640;
int g_height = 480;
int g_fullscreen = 0;
bool g_done = false;
int g_exitCode = 0;

void RestoreDisplayMode()
{
    ChangeDisplaySettingsA(NULL, 0);
}

void TearDownGL()
{
    // None of these results matter: teardown must reach the quit request and
    // the display mode whatever state set-up left behind.
    wglMakeCurrent(g_hDC, NULL);
    wglDeleteContext(g_hRC);
    PostQuitMessage(g_exitCode);
    if (g_fullscreen == 1) {
        RestoreDisplayMode();
    }
}
