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
    CloseDisplay();
}

} // namespace x11
