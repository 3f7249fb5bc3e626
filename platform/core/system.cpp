// Keyboard state, message boxes and sleeping.
#include "core.h"

using namespace platform;

SHORT WINAPI GetAsyncKeyState(int vkey)
{
    bool pressed = false;
    const bool down = g_core.backend->keyState(vkey, &pressed);
    // The high bit says the key is down now; the low bit that it went down
    // since the last poll, which catches a tap shorter than a frame.
    unsigned state = 0;
    if (down) {
        state |= 0x8000U;
    }
    if (pressed) {
        state |= 0x0001U;
    }
    return static_cast<SHORT>(state);
}

int WINAPI MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type)
{
    const int index = WindowIndex(owner);
    const BackendId ownerId = index >= 0 ? g_core.windows[index].id : 0;
    g_core.backend->messageBox(ownerId, text != nullptr ? text : "",
                               caption != nullptr ? caption : "Error", type);
    return IDOK;
}

void WINAPI Sleep(DWORD milliseconds)
{
    g_core.backend->sleep(milliseconds);
}
