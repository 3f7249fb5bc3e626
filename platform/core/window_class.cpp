// Window classes, and the stock icon and cursor a class names.
#include "core.h"

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
    if (wc == nullptr || wc->cbSize != sizeof(WNDCLASSEXA) || wc->lpfnWndProc == nullptr ||
        wc->lpszClassName == nullptr || wc->lpszClassName[0] == '\0' ||
        std::strlen(wc->lpszClassName) >= kClassNameMax || FindClass(wc->lpszClassName)) {
        return 0;
    }
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
