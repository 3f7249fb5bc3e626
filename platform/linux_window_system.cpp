// The window system the real program runs on under Linux: an X server.
#include "main.h"
#include "x11/x11_backend.h"

namespace platform {

const Backend *OpenWindowSystem()
{
    return x11::OpenBackend();
}

void CloseWindowSystem(int /*exitCode*/)
{
    x11::CloseBackend();
}

} // namespace platform
