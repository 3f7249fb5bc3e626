// Win32 handles as the core hands them out: opaque values that encode a table
// slot, distinct per kind so that a window handle is never taken for a device
// context.
#include "core.h"

namespace platform {

namespace {

constexpr std::uintptr_t kWindowBase = 0x10000;
constexpr std::uintptr_t kDCBase = 0x20000;
constexpr std::uintptr_t kContextBase = 0x30000;

template <typename H> H Encode(std::uintptr_t base, int index)
{
    return reinterpret_cast<H>(base + static_cast<std::uintptr_t>(index) + 1);
}

template <typename H> int Decode(std::uintptr_t base, H handle, int limit)
{
    const auto value = reinterpret_cast<std::uintptr_t>(handle);
    if (value <= base || value > base + static_cast<std::uintptr_t>(limit)) {
        return -1;
    }
    return static_cast<int>(value - base - 1);
}

} // namespace

HWND WindowHandle(int index)
{
    return Encode<HWND>(kWindowBase, index);
}

int WindowIndex(HWND hwnd)
{
    const int index = Decode(kWindowBase, hwnd, kMaxWindows);
    return index >= 0 && g_core.windows[index].alive ? index : -1;
}

HDC DCHandle(int index)
{
    return Encode<HDC>(kDCBase, index);
}

int DCWindowIndex(HDC hdc)
{
    const int index = Decode(kDCBase, hdc, kMaxWindows);
    return index >= 0 && g_core.windows[index].alive && g_core.windows[index].dcTaken ? index : -1;
}

HGLRC ContextHandle(int index)
{
    return Encode<HGLRC>(kContextBase, index);
}

int ContextIndex(HGLRC hglrc)
{
    const int index = Decode(kContextBase, hglrc, kMaxContexts);
    return index >= 0 && g_core.contexts[index].alive ? index : -1;
}

} // namespace platform
