// The program's entry on Linux: WinMain over the Wayland or the X11 backend.
#include "choose_backend.h"

#include <windows.h>

int main()
{
    const ChosenBackend chosen = ChooseBackend();
    platform::SetBackend(chosen.backend);
    // The program takes no options; any handle will do for the instance, as
    // only window creation passes it on.
    static int instance;
    const int result =
        WinMain(reinterpret_cast<HINSTANCE>(&instance), nullptr, const_cast<LPSTR>(""), SW_SHOW);
    chosen.close();
    return result;
}
