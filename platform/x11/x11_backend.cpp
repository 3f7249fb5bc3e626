// The X11/GLX backend assembled from its parts.
#include "x11_backend.h"

#include "x11_platform.h"

namespace x11 {

namespace {

const platform::Backend kBackend = {
    ScreenSize,  SetDisplayMode,    RestoreDisplayMode, CreateWindow,  DestroyWindow, ShowWindow,
    GetDC,       ChoosePixelFormat, SetPixelFormat,     CreateContext, MakeCurrent,   DeleteContext,
    SwapBuffers, KeyState,          MessageBox,         Sleep,         PumpEvents,
};

} // namespace

const platform::Backend *OpenBackend()
{
    InstallSignalHandlers();
    if (OpenDisplay()) {
        InitGLX();
        InitKeyboard();
    }
    return &kBackend;
}

void CloseBackend()
{
    if (g_x11.display == nullptr) {
        return;
    }
    TerminateGLX();
    DestroyAllWindows();
    // NOTE: The connection is left for the process exit to drop, as Win32
    // leaves the window to it. XCloseDisplay makes Mesa unload its driver,
    // which leaks a few blocks on the way out and fails every leak-checked
    // run; the server frees all we had when the connection goes.
    XFlush(g_x11.display);
}

} // namespace x11
