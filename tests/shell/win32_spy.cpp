#include "win32_spy.h"

#include "program_state.h"

namespace spy {

namespace {
Log g_log;
} // namespace

void Reset()
{
    g_log = Log{};
}

const Log &Get()
{
    return g_log;
}

} // namespace spy

using spy::g_log;

extern "C" {

ATOM __real_RegisterClassExA(const WNDCLASSEXA *wc);
LONG __real_ChangeDisplaySettingsA(DEVMODEA *mode, DWORD flags);
HWND __real_CreateWindowExA(DWORD, LPCSTR, LPCSTR, DWORD, int, int, int, int, HWND, HMENU,
                            HINSTANCE, LPVOID);
int __real_ChoosePixelFormat(HDC hdc, const PIXELFORMATDESCRIPTOR *pfd);
BOOL __real_SetPixelFormat(HDC hdc, int format, const PIXELFORMATDESCRIPTOR *pfd);
HDC __real_GetDC(HWND hwnd);

HDC __wrap_GetDC(HWND hwnd)
{
    // The first thing WM_CREATE does: what the program's window handle is then.
    if (!g_log.windows.empty()) {
        g_log.windows.back().hWndDuringCreate = g_hWnd;
    }
    return __real_GetDC(hwnd);
}

ATOM __wrap_RegisterClassExA(const WNDCLASSEXA *wc)
{
    const ATOM result = __real_RegisterClassExA(wc);
    g_log.classes.push_back({*wc, wc->lpszClassName ? wc->lpszClassName : "", result});
    return result;
}

LONG __wrap_ChangeDisplaySettingsA(DEVMODEA *mode, DWORD flags)
{
    const LONG result = __real_ChangeDisplaySettingsA(mode, flags);
    spy::ModeChange change{mode != nullptr, {}, flags, result};
    if (mode != nullptr) {
        change.mode = *mode;
    }
    g_log.modes.push_back(change);
    return result;
}

HWND __wrap_CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR title, DWORD style, int x,
                            int y, int width, int height, HWND parent, HMENU menu,
                            HINSTANCE instance, LPVOID param)
{
    // The record goes in first so WM_CREATE, which runs inside the call, can
    // be seen through it.
    const size_t index = g_log.windows.size();
    g_log.windows.push_back({exStyle, className ? className : "", title ? title : "", style, x, y,
                             width, height, parent, menu, instance, param, nullptr,
                             reinterpret_cast<HWND>(-1)});
    const HWND result = __real_CreateWindowExA(exStyle, className, title, style, x, y, width,
                                               height, parent, menu, instance, param);
    g_log.windows[index].result = result;
    return result;
}

int __wrap_ChoosePixelFormat(HDC hdc, const PIXELFORMATDESCRIPTOR *pfd)
{
    const int result = __real_ChoosePixelFormat(hdc, pfd);
    g_log.pixelFormats.push_back({false, hdc, 0, *pfd, result});
    return result;
}

BOOL __wrap_SetPixelFormat(HDC hdc, int format, const PIXELFORMATDESCRIPTOR *pfd)
{
    const BOOL result = __real_SetPixelFormat(hdc, format, pfd);
    g_log.pixelFormats.push_back({true, hdc, format, *pfd, result});
    return result;
}
}
