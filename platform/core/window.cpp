// Windows: creation with its synchronous messages, showing, destruction, the
// device context and the default window procedure.
#include "core.h"

#include <cstdio>

namespace platform {

LRESULT SendToWindow(int index, UINT message, WPARAM wParam, LPARAM lParam)
{
    return g_core.windows[index].cls->proc(WindowHandle(index), message, wParam, lParam);
}

namespace {

void SendSize(int index)
{
    const Window &w = g_core.windows[index];
    SendToWindow(index, WM_SIZE, SIZE_RESTORED, MAKELPARAM(w.state.width, w.state.height));
}

// Why a window cannot be made, written into detail; false when it can.
bool WindowRefused(const WindowClass *cls, const char *className, int width, int height,
                   char *detail, std::size_t size)
{
    if (cls == nullptr) {
        std::snprintf(detail, size, "no class \"%s\" is registered",
                      className != nullptr ? className : "");
    } else if (g_core.windowsCreated == kMaxWindows) {
        std::snprintf(detail, size, "all %d windows have been made", kMaxWindows);
    } else if (width < 0 || height < 0) {
        std::snprintf(detail, size, "%dx%d is no size", width, height);
    } else {
        return false;
    }
    return true;
}

} // namespace

void ReleaseWindow(int index)
{
    Window &w = g_core.windows[index];
    w.alive = false;
    if (g_core.currentContext != 0 && g_core.contexts[g_core.currentContext - 1].window == index) {
        ReleaseCurrent();
    }
    g_core.backend->destroyWindow(w.id);
    w.id = 0;
}

} // namespace platform

using namespace platform;

HWND WINAPI CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x,
                            int y, int width, int height, HWND parent, HMENU menu,
                            HINSTANCE instance, LPVOID param)
{
    const WindowClass *cls = FindClass(className);
    char detail[kClassNameMax + 32];
    if (WindowRefused(cls, className, width, height, detail, sizeof detail)) {
        ReportError("cannot create a window", detail);
        return nullptr;
    }
    const int index = g_core.windowsCreated;
    Window &w = g_core.windows[index];
    w = Window{};
    w.cls = cls;
    w.state.style = style;
    std::snprintf(w.state.title, sizeof w.state.title, "%s",
                  windowName != nullptr ? windowName : "");
    w.state.width = width;
    w.state.height = height;
    // As on Windows, only an overlapped window waits for ShowWindow to
    // learn its size.
    w.sizeOnShow = (style & WS_POPUP) == 0;
    w.id = g_core.backend->createWindow(&w.state, x, y);
    if (w.id == 0) {
        w = Window{};
        return nullptr;
    }
    ++g_core.windowsCreated;
    w.alive = true;

    CREATESTRUCTA cs = {};
    cs.lpCreateParams = param;
    cs.hInstance = instance;
    cs.hMenu = menu;
    cs.hwndParent = parent;
    cs.cx = width;
    cs.cy = height;
    cs.x = x;
    cs.y = y;
    cs.style = static_cast<LONG>(style);
    cs.lpszName = windowName;
    cs.lpszClass = className;
    cs.dwExStyle = exStyle;

    // The window procedure sees WM_CREATE before CreateWindowExA returns, so
    // whoever keeps the handle does not have it yet.
    const HWND hwnd = WindowHandle(index);
    if (SendToWindow(index, WM_CREATE, 0, reinterpret_cast<LPARAM>(&cs)) == -1) {
        DestroyWindow(hwnd);
        return nullptr;
    }
    if (!w.alive) {
        return nullptr; // destroyed from inside its own WM_CREATE
    }
    if (!w.sizeOnShow) {
        SendSize(index);
    }
    return w.alive ? hwnd : nullptr;
}

BOOL WINAPI DestroyWindow(HWND hwnd)
{
    const int index = WindowIndex(hwnd);
    if (index < 0 || g_core.windows[index].destroying) {
        return FALSE;
    }
    Window &w = g_core.windows[index];
    w.destroying = true;
    // The procedure still owns a live window while it handles WM_DESTROY.
    SendToWindow(index, WM_DESTROY, 0, 0);
    ReleaseWindow(index);
    return TRUE;
}

BOOL WINAPI ShowWindow(HWND hwnd, int cmdShow)
{
    const int index = WindowIndex(hwnd);
    if (index < 0) {
        return FALSE;
    }
    Window &w = g_core.windows[index];
    const BOOL wasVisible = w.state.visible ? TRUE : FALSE;
    const bool visible = cmdShow != SW_HIDE;
    if (visible != w.state.visible) {
        w.state.visible = visible;
        g_core.backend->showWindow(w.id, visible);
        if (visible && w.sizeOnShow) {
            w.sizeOnShow = false;
            SendSize(index);
        }
    }
    return wasVisible;
}

BOOL WINAPI UpdateWindow(HWND hwnd)
{
    // Nothing is ever invalid: the program repaints every frame itself.
    return WindowIndex(hwnd) >= 0 ? TRUE : FALSE;
}

HDC WINAPI GetDC(HWND hwnd)
{
    const int index = WindowIndex(hwnd);
    if (index < 0) {
        return nullptr;
    }
    Window &w = g_core.windows[index];
    if (!w.dcTaken) {
        if (!g_core.backend->windowExists(w.id)) {
            return nullptr;
        }
        w.dcTaken = true;
    }
    return DCHandle(index);
}

LRESULT WINAPI DefWindowProcA(HWND hwnd, UINT message, WPARAM /*wParam*/, LPARAM /*lParam*/)
{
    if (message == WM_CLOSE) {
        DestroyWindow(hwnd);
    }
    return 0;
}
