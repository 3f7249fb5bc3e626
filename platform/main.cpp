// The program's entry on Linux: WinMain over the X11/GLX backend.
#include "x11/x11_backend.h"

#include <windows.h>

int main()
{
    platform::SetBackend(x11::OpenBackend());
    // The program takes no options; any handle will do for the instance, as
    // only window creation passes it on.
    static int instance;
    const int result =
        WinMain(reinterpret_cast<HINSTANCE>(&instance), nullptr, const_cast<LPSTR>(""), SW_SHOW);
    x11::CloseBackend();
    return result;
}
