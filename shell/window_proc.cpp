// The window procedure: OpenGL set-up while the window is created, the
// projection kept to the client size, and teardown when it is destroyed.
#include "program_state.h"

#include "renderer.h"

// clang-format off
const PIXELFORMATDESCRIPTOR kPixelFormatTemplate = {
    sizeof(PIXELFORMATDESCRIPTOR),
    1,
    PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER,
    PFD_TYPE_RGBA,
    16,                     // colour bits
    0, 0, 0, 0, 0, 0,       // red, green, blue bits and shifts
    0, 0,                   // alpha bits and shift
    0, 0, 0, 0, 0,          // accumulation bits
    16,                     // depth bits
    0,                      // stencil bits
    0,                      // auxiliary buffers
    PFD_MAIN_PLANE,
    0,                      // reserved
    0, 0, 0,                // layer, visible and damage masks
};
// clang-format on

int g_pixelFormat = 0;

void SetupPixelFormat()
{
    PIXELFORMATDESCRIPTOR pfd = kPixelFormatTemplate;

    // g_hWnd is still null here during WM_CREATE, so these boxes have no
    // owner. A failed choice still goes on to set format 0, which fails too.
    g_pixelFormat = ChoosePixelFormat(g_hDC, &pfd);
    if (g_pixelFormat == 0) {
        g_exitCode = 1;
        MessageBoxA(g_hWnd, "Failed to find pixel format", "Pixel Format Error", MB_OK);
        TearDownGL();
    }
    if (!SetPixelFormat(g_hDC, g_pixelFormat, &pfd)) {
        g_exitCode = 1;
        MessageBoxA(g_hWnd, "Failed to Set Pixel Format", "Pixel Format Error", MB_OK);
        TearDownGL();
    }
}

static void HandleCreate(HWND hwnd)
{
    g_hDC = GetDC(hwnd);
    if (g_hDC == NULL) {
        g_exitCode = 1;
        MessageBoxA(hwnd, "Failed to Get the Window Device Context", "Device Context Error", MB_OK);
        TearDownGL();
        return;
    }

    SetupPixelFormat();

    g_hRC = wglCreateContext(g_hDC);
    if (g_hRC == NULL) {
        g_exitCode = 1;
        MessageBoxA(hwnd, "Failed to Create the OpenGL Rendering Context",
                    "OpenGL Rendering Context Error", MB_OK);
        TearDownGL();
        return;
    }
    if (!wglMakeCurrent(g_hDC, g_hRC)) {
        g_exitCode = 1;
        MessageBoxA(hwnd, "Failed to Make OpenGL Rendering Context Current",
                    "OpenGL Rendering Context Error", MB_OK);
        TearDownGL();
    }

    // The real client size arrives with WM_SIZE, which resets both again.
    ResizeViewport(640, 480);
    InitRenderState();

    ShowWindow(hwnd, SW_SHOW);
    UpdateWindow(hwnd);
}

static void HandleSize(LPARAM lParam)
{
    const int width = LOWORD(lParam);
    const int height = HIWORD(lParam);
    ResizeViewport(width, height);
    g_width = width;
    g_height = height;
}

LRESULT CALLBACK MainWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE:
        HandleCreate(hwnd);
        break;
    case WM_SIZE:
        HandleSize(lParam);
        break;
    case WM_DESTROY:
        TearDownGL();
        break;
    default:
        break;
    }
    return DefWindowProcA(hwnd, message, wParam, lParam);
}
