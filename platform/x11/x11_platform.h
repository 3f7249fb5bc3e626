// What the X11/GLX backend's files share: the one connection, the windows it
// made, and each file's entry points. Only platform/x11 includes this.
#ifndef TOWER_PLATFORM_X11_PLATFORM_H
#define TOWER_PLATFORM_X11_PLATFORM_H

#include "../core/backend.h"

#include <X11/Xlib.h>
#include <GL/glx.h>

namespace x11 {

// The program makes one window; a few spare slots cost nothing.
constexpr int kMaxWindows = 8;

struct Atoms {
    Atom wmProtocols;
    Atom wmDeleteWindow;
    Atom wmState;
    Atom wmTransientFor;
    Atom utf8String;
    Atom netSupported;
    Atom netSupportingWmCheck;
    Atom netWmName;
    Atom netWmPid;
    Atom netWmPing;
    Atom netWmState;
    Atom netWmStateFullscreen;
    Atom netWmWindowType;
    Atom netWmWindowTypeDialog;
    Atom motifWmHints;
};

// What X alone knows of one of the program's windows; the rest is the core's
// WindowState.
struct WindowSlot {
    const platform::WindowState *state; // null while the slot is free
    Window handle;                      // None once another client has destroyed it
    Colormap colormap;                  // ours to free, or None for the screen's default
    // Where the client area's corner is, in root-window coordinates.
    int x;
    int y;
    bool mapped; // what the server last said
};

struct State {
    Display *display; // null when there is no X server to talk to
    int screen;
    Window root;
    Atoms atoms;
    // An EWMH window manager that can make a window full-screen.
    bool ewmhFullscreen;
    bool randr;
    bool glx;
    WindowSlot windows[kMaxWindows];
};

extern State g_x11;

// --- x11_error.cpp
// Every failure the backend sees is told here, once, on stderr.
void X11ReportError(const char *what, const char *detail = nullptr);
// Report an X error code with the server's own name for it.
void X11ReportXError(const char *what, int errorCode);
void X11InstallErrorHandlers();
// Collect protocol errors instead of reporting them, around requests whose
// failure the caller handles itself. Untrap syncs with the server, so it
// belongs to set-up paths only; it returns the first error code, or Success.
void X11TrapErrors();
int X11UntrapErrors();

// --- x11_display.cpp
bool X11OpenDisplay();
// The primary monitor's rectangle in root coordinates: RandR's primary
// output, else the whole X screen.
void X11PrimaryMonitor(int *x, int *y, int *width, int *height);
void X11ScreenSize(int *width, int *height);
LONG X11SetDisplayMode(int width, int height, int bitsPerPixel);
LONG X11RestoreDisplayMode();
// Read a window property of a given type; the caller XFrees *value when the
// count returned is not 0.
unsigned long X11GetWindowProperty(Window window, Atom property, Atom type, unsigned char **value);

// --- x11_window.cpp
platform::BackendId X11CreateWindow(const platform::WindowState *state, int x, int y);
void X11DestroyWindow(platform::BackendId window);
void X11ShowWindow(platform::BackendId window, bool visible);
bool X11GetDC(platform::BackendId window);
WindowSlot *X11WindowOfId(platform::BackendId window);
// Give a window the visual a pixel format needs.
bool X11SetWindowVisual(WindowSlot &slot, Visual *visual, int depth);
// Turn one X event into window messages; false when it concerns none of
// the program's windows.
bool X11HandleEvent(XEvent &event);
void X11PumpEvents();

// --- glx_context.cpp
void GlxInit();
void GlxTerminate();
int GlxChoosePixelFormat(const PIXELFORMATDESCRIPTOR *pfd);
bool GlxSetPixelFormat(platform::BackendId window, int format);
platform::BackendId GlxCreateContext(platform::BackendId window, int format);
bool GlxMakeCurrent(platform::BackendId window, platform::BackendId context);
void GlxDeleteContext(platform::BackendId context);
bool GlxSwapBuffers(platform::BackendId window);
// Another client destroyed a window: stop drawing to it at once.
void GlxReleaseDrawable(Window window);

// --- x11_keyboard.cpp
void X11InitKeyboard();
// Keep the key state up to date from one event; false when it is not a key event.
bool X11HandleKeyEvent(XEvent &event);
// The keyboard mapping changed: find the keys again.
void X11RefreshKeyboard();
bool X11KeyState(int vkey, bool *pressedSinceLastCall);

// --- x11_message_box.cpp
void X11MessageBox(platform::BackendId owner, const char *text, const char *caption, UINT type);

// --- posix_signal.cpp
void PosixCatchCloseSignals();
// SIGINT or SIGTERM asked the program to close and no window has been told yet.
bool PosixCloseRequested();
void PosixClearCloseRequest();

// --- posix_time.cpp
void PosixSleep(DWORD milliseconds);

} // namespace x11

#endif
