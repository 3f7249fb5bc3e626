// The program's entry in a web page: WinMain over the browser backend.
#include "web_backend.h"

#include <windows.h>

int main()
{
    platform::SetBackend(web::OpenBackend());
    // The program takes no options; any handle will do for the instance, as
    // only window creation passes it on.
    static int instance;
    const int result =
        WinMain(reinterpret_cast<HINSTANCE>(&instance), nullptr, const_cast<LPSTR>(""), SW_SHOW);
    // A page outlives its program: it says so, and the last frame stays.
    JsProgramEnded(result);
    return result;
}
