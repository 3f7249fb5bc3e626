// The frame loop's pass through our Win32 stand-in, over the backend the
// program would choose (X11/GLX, or Wayland/EGL): the same calls the
// program makes, in a window with the program's pixel format.
#include "main.h"
#include "pass_harness.h"
#include "program_state.h"

#include <windows.h>

#include <cstdio>

namespace {

HDC g_dc = nullptr;

LRESULT WINAPI BenchWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

void Events()
{
    // At most one message a pass, as the program takes them.
    MSG msg;
    if (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

void Swap()
{
    SwapBuffers(g_dc);
}

bool Escape()
{
    return GetAsyncKeyState(VK_ESCAPE) != 0;
}

bool OpenWindow(PassSize size)
{
    static int instance;
    const HINSTANCE hInstance = reinterpret_cast<HINSTANCE>(&instance);
    WNDCLASSEXA wc = {};
    wc.cbSize = sizeof wc;
    wc.style = CS_OWNDC;
    wc.lpfnWndProc = BenchWindowProc;
    wc.hInstance = hInstance;
    wc.lpszClassName = "PassBench";
    if (!RegisterClassExA(&wc)) {
        return false;
    }
    const HWND hwnd = CreateWindowExA(0, "PassBench", "pass ours", WS_POPUP, 0, 0, size.width,
                                      size.height, nullptr, nullptr, hInstance, nullptr);
    if (hwnd == nullptr || (g_dc = GetDC(hwnd)) == nullptr) {
        return false;
    }
    PIXELFORMATDESCRIPTOR pfd = kPixelFormatTemplate;
    const int format = ChoosePixelFormat(g_dc, &pfd);
    if (format == 0 || !SetPixelFormat(g_dc, format, &pfd)) {
        return false;
    }
    const HGLRC rc = wglCreateContext(g_dc);
    if (rc == nullptr || !wglMakeCurrent(g_dc, rc)) {
        return false;
    }
    ShowWindow(hwnd, SW_SHOW);
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    const PassSize size = ParsePassSize(argc, argv);
    const platform::Backend *backend = platform::OpenWindowSystem();
    if (backend == nullptr) {
        return 1; // the backend has said why
    }
    platform::SetBackend(backend);
    if (!OpenWindow(size)) {
        std::fprintf(stderr, "pass ours: no window with a current GL context\n");
        return 1;
    }
    const int status = RunPasses(argc, argv, {"ours", Events, Swap, Escape}, size);
    platform::CloseWindowSystem(status);
    return status;
}
