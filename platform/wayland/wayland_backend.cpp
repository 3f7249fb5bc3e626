// The Wayland/EGL backend assembled from its parts.
#include "wayland_backend.h"

#include "wayland_platform.h"

#include "../posix/posix.h"

namespace wayland {

namespace {

// Filled slot by slot, so that no entry can land in its neighbour's place.
platform::Backend Table()
{
    platform::Backend backend = {};
    backend.reportError = WaylandReportError;
    backend.screenSize = WaylandScreenSize;
    // No display-mode slots: a Wayland client may not change an output's
    // mode at all.
    backend.screenName = "output";
    backend.createWindow = WaylandCreateWindow;
    backend.destroyWindow = WaylandDestroyWindow;
    backend.showWindow = WaylandShowWindow;
    backend.windowExists = WaylandWindowExists;
    backend.choosePixelFormat = EglChoosePixelFormat;
    backend.setPixelFormat = EglSetPixelFormat;
    backend.createContext = EglCreateContext;
    backend.makeCurrent = EglMakeCurrent;
    backend.deleteContext = EglDeleteContext;
    backend.swapBuffers = EglSwapBuffers;
    backend.keyState = WaylandKeyState;
    backend.messageBox = WaylandMessageBox;
    backend.sleep = posix::PosixSleep;
    backend.pumpEvents = WaylandPumpEvents;
    return backend;
}

} // namespace

const platform::Backend *OpenBackend(char *whyNot, std::size_t whyNotSize)
{
    if (!WaylandConnect(whyNot, whyNotSize)) {
        return nullptr;
    }
    if (!posix::PosixCatchCloseSignals()) {
        WaylandReportError("cannot catch SIGINT and SIGTERM");
    }
    WaylandInitKeyboard();
    EglInit();
    WaylandFlush();
    static const platform::Backend backend = Table();
    return &backend;
}

void CloseBackend()
{
    if (g_wayland.display == nullptr) {
        return;
    }
    // The core knows what the program left alive; it gives that back here.
    platform::ReleaseAll();
    // NOTE: EGL and the connection are left for the process exit to drop,
    // as Win32 leaves the window to it. eglTerminate makes Mesa unload its
    // driver, which leaks a few blocks on the way out and fails every
    // leak-checked run; the compositor frees all we had when the connection
    // goes.
    WaylandFlush();
}

} // namespace wayland
