// Window classes, and the stock icon and cursor a class names.
#include "core.h"

#include <cstdio>
#include <cstring>

namespace platform {

namespace {

// Class atoms live in the range Windows gives registered classes.
constexpr ATOM kFirstAtom = 0xC000;

// Stock resources need no loading here; any non-null handle will do, as
// nothing draws them.
HICON StockHandle(LPCSTR name)
{
    return name != nullptr ? reinterpret_cast<HICON>(0x7F00) : nullptr;
}

// Why a class cannot be registered, written into detail; false when it can,
// table space allowing.
bool ClassRefused(const WNDCLASSEXA *wc, char *detail, std::size_t size)
{
    if (wc == nullptr || wc->cbSize != sizeof(WNDCLASSEXA) || wc->lpfnWndProc == nullptr ||
        wc->lpszClassName == nullptr || wc->lpszClassName[0] == '\0') {
        std::snprintf(detail, size, "its WNDCLASSEXA lacks a size, a procedure or a name");
    } else if (std::strlen(wc->lpszClassName) >= kClassNameMax) {
        std::snprintf(detail, size, "its name is %d characters or longer", kClassNameMax);
    } else if (FindClass(wc->lpszClassName) != nullptr) {
        std::snprintf(detail, size, "\"%s\" is registered already", wc->lpszClassName);
    } else {
        return false;
    }
    return true;
}

} // namespace

const WindowClass *FindClass(const char *name)
{
    if (name == nullptr) {
        return nullptr;
    }
    for (const WindowClass &cls : g_core.classes) {
        if (cls.used && std::strcmp(cls.name, name) == 0) {
            return &cls;
        }
    }
    return nullptr;
}

} // namespace platform

using namespace platform;

ATOM WINAPI RegisterClassExA(const WNDCLASSEXA *wc)
{
    char detail[kClassNameMax + 32];
    if (!ClassRefused(wc, detail, sizeof detail)) {
        for (int i = 0; i < kMaxClasses; ++i) {
            WindowClass &cls = g_core.classes[i];
            if (!cls.used) {
                cls.used = true;
                // The length was checked against kClassNameMax above.
                std::memcpy(cls.name, wc->lpszClassName, std::strlen(wc->lpszClassName) + 1);
                cls.proc = wc->lpfnWndProc;
                return static_cast<ATOM>(kFirstAtom + i);
            }
        }
        std::snprintf(detail, sizeof detail, "all %d classes are taken", kMaxClasses);
    }
    ReportError("cannot register a window class", detail);
    return 0;
}

HICON WINAPI LoadIconA(HINSTANCE /*hInstance*/, LPCSTR name)
{
    return StockHandle(name);
}

HCURSOR WINAPI LoadCursorA(HINSTANCE /*hInstance*/, LPCSTR name)
{
    return StockHandle(name);
}
