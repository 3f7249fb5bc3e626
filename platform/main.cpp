// The program's entry wherever the stand-in runs it: the command line, then
// WinMain over the window system, which is closed again after it.
#include "main.h"

#include <windows.h>

int main(int argc, char **argv)
{
    const int ended = platform::ReadCommandLine(argc, argv);
    if (ended != platform::kStartProgram) {
        return ended;
    }
    const platform::Backend *backend = platform::OpenWindowSystem();
    if (backend == nullptr) {
        return 1;
    }
    platform::SetBackend(backend);
    // Any handle will do for the instance, as only window creation passes
    // it on.
    static int instance;
    const int result =
        WinMain(reinterpret_cast<HINSTANCE>(&instance), nullptr, const_cast<LPSTR>(""), SW_SHOW);
    platform::CloseWindowSystem(result);
    return result;
}
