// The X11/GLX backend assembled from its parts.
#include "x11_backend.h"

#include "x11_platform.h"

#include "../posix/posix.h"

namespace x11 {

namespace {

// Filled slot by slot, so that no entry can land in its neighbour's place.
platform::Backend Table()
{
    platform::Backend backend = {};
    backend.reportError = X11ReportError;
    backend.screenSize = X11ScreenSize;
    // No display-mode slots: an X server's depth is fixed for the life of
    // the screen, and its size is the user's to change.
    backend.screenName = "screen";
    backend.createWindow = X11CreateWindow;
    backend.destroyWindow = X11DestroyWindow;
    backend.showWindow = X11ShowWindow;
    backend.windowExists = X11WindowExists;
    backend.choosePixelFormat = GlxChoosePixelFormat;
    backend.setPixelFormat = GlxSetPixelFormat;
    backend.createContext = GlxCreateContext;
    backend.makeCurrent = GlxMakeCurrent;
    backend.deleteContext = GlxDeleteContext;
    backend.swapBuffers = GlxSwapBuffers;
    backend.keyState = X11KeyState;
    backend.messageBox = X11MessageBox;
    backend.sleep = posix::PosixSleep;
    backend.pumpEvents = X11PumpEvents;
    return backend;
}

} // namespace

const platform::Backend *OpenBackend(const char *alsoTried)
{
    X11CatchSignals();
    X11InstallErrorHandlers();
    if (!X11OpenDisplay(alsoTried)) {
        return nullptr;
    }
    GlxInit();
    X11InitKeyboard();
    static const platform::Backend backend = Table();
    return &backend;
}

void CloseBackend()
{
    if (g_x11.display == nullptr) {
        return;
    }
    // The core knows what the program left alive; it gives that back here.
    platform::ReleaseAll();
    GlxTerminate();
    // NOTE: The connection is left for the process exit to drop, as Win32
    // leaves the window to it. XCloseDisplay makes Mesa unload its driver,
    // which leaks a few blocks on the way out and fails every leak-checked
    // run; the server frees all we had when the connection goes.
    XFlush(g_x11.display);
}

} // namespace x11
