// The web page's side of main(): no options, the browser as the window
// system, and a page that outlives its program.
#include "../main.h"
#include "web_backend.h"

namespace platform {

int ReadCommandLine(int /*argc*/, char ** /*argv*/)
{
    return kStartProgram;
}

const Backend *OpenWindowSystem()
{
    return web::OpenBackend();
}

void CloseWindowSystem(int exitCode)
{
    // The page says that the program has ended, and its last frame stays.
    JsProgramEnded(exitCode);
}

} // namespace platform
