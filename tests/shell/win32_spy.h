// Sees the Win32 calls the shell makes, with their arguments as passed, by
// standing between the shell and the stand-in at link time (--wrap).
#ifndef TOWER_TESTS_WIN32_SPY_H
#define TOWER_TESTS_WIN32_SPY_H

#include <windows.h>

#include <string>
#include <vector>

namespace spy {

struct ClassRegistration {
    WNDCLASSEXA wc;
    std::string className;
    ATOM result;
};

struct ModeChange {
    bool withMode;
    DEVMODEA mode;
    DWORD flags;
    LONG result;
};

struct WindowCreation {
    DWORD exStyle;
    std::string className;
    std::string title;
    DWORD style;
    int x, y, width, height;
    HWND parent;
    HMENU menu;
    HINSTANCE instance;
    LPVOID param;
    HWND result;
    HWND hWndDuringCreate; // g_hWnd as WM_CREATE saw it
};

struct PixelFormatCall {
    bool set; // SetPixelFormat, else ChoosePixelFormat
    HDC hdc;
    int format;
    PIXELFORMATDESCRIPTOR pfd;
    int result;
};

struct Log {
    std::vector<ClassRegistration> classes;
    std::vector<ModeChange> modes;
    std::vector<WindowCreation> windows;
    std::vector<PixelFormatCall> pixelFormats;
};

void Reset();
const Log &Get();

} // namespace spy

#endif
