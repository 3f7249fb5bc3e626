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
constexpr int kMaxContexts = 8;
constexpr int kTitleMax = 256;

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

struct WindowSlot {
    bool used;
    Window handle;
    Colormap colormap; // ours to free, or None for the screen's default
    // The rectangle asked for, in root-window coordinates.
    int x;
    int y;
    int width;
    int height;
    DWORD style;
    char title[kTitleMax];
    bool shown;     // what the program last asked for
    bool mapped;    // what the server last said
    bool minimized; // iconified by the window manager
    // The size the program last heard of through WM_SIZE or creation.
    int knownWidth;
    int knownHeight;
    GLXFBConfig config; // set once the pixel format is
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
void ReportError(const char *what, const char *detail = nullptr);
// Report an X error code with the server's own name for it.
void ReportXError(const char *what, int errorCode);
void InstallErrorHandlers();
// Collect protocol errors instead of reporting them, around requests whose
// failure the caller handles itself. Untrap syncs with the server, so it
// belongs to set-up paths only; it returns the first error code, or Success.
void TrapErrors();
int UntrapErrors();

// --- x11_display.cpp
bool OpenDisplay();
// The primary monitor's rectangle in root coordinates: RandR's primary
// output, else the whole X screen.
void PrimaryMonitor(int *x, int *y, int *width, int *height);
void ScreenSize(int *width, int *height);
LONG SetDisplayMode(int width, int height, int bitsPerPixel);
LONG RestoreDisplayMode();
// Read a window property of a given type; the caller XFrees *value when the
// count returned is not 0.
unsigned long GetWindowProperty(Window window, Atom property, Atom type, unsigned char **value);

// --- x11_window.cpp
platform::BackendId CreateWindow(int x, int y, int width, int height, DWORD style,
                                 const char *title);
void DestroyWindow(platform::BackendId window);
void ShowWindow(platform::BackendId window, bool visible);
bool GetDC(platform::BackendId window);
WindowSlot *FindSlot(platform::BackendId window);
// Give a window the visual a pixel format needs.
bool SetWindowVisual(WindowSlot &slot, Visual *visual, int depth);
void DestroyAllWindows();
// Turn one X event into window messages; false when it concerns none of
// the program's windows.
bool HandleEvent(XEvent &event);
void PumpEvents();

// --- glx_context.cpp
void InitGLX();
void TerminateGLX();
int ChoosePixelFormat(const PIXELFORMATDESCRIPTOR *pfd);
bool SetPixelFormat(platform::BackendId window, int format);
platform::BackendId CreateContext(platform::BackendId window, int format);
bool MakeCurrent(platform::BackendId window, platform::BackendId context);
void DeleteContext(platform::BackendId context);
bool SwapBuffers(platform::BackendId window);
// Another client destroyed a window: stop drawing to it at once.
void ReleaseDrawable(Window window);

// --- x11_keyboard.cpp
void InitKeyboard();
// Keep the key state up to date from one event; false when it is not a key event.
bool HandleKeyboardEvent(XEvent &event);
// The keyboard mapping changed: find the keys again.
void RefreshKeyboard();
bool KeyState(int vkey, bool *pressedSinceLastCall);

// --- x11_message_box.cpp
void MessageBox(platform::BackendId owner, const char *text, const char *caption, UINT type);

// --- posix_signal.cpp
void InstallSignalHandlers();
// SIGINT or SIGTERM asked the program to close and no window has been told yet.
bool CloseRequested();
void ClearCloseRequest();

// --- posix_time.cpp
void Sleep(DWORD milliseconds);

} // namespace x11

#endif
