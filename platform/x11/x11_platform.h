// What the X11/GLX backend's files share: its one state record and each
// file's entry points. Only platform/x11 includes this.
//
// Failures. Every Xlib, GLX and XInput result is checked, and every failure
// reaches stderr through x11_report.cpp alone, once (the writer itself is the
// one the Linux backends share, in posix/):
// - a call that answers at once (a reply, a Status, a pointer) is checked
//   where it is made, and a failure said with X11ReportError, or with
//   X11ReportXError where X names the error;
// - a request that X answers later, if at all, is checked by the protocol
//   error handler, which says each failure; set-up paths that must know at
//   once trap the errors around their requests instead;
// - a call that cannot fail says why beside it;
// - a lost connection ends the program through X11ExitLostConnection,
//   whoever notices it.
// A line already said is not said again.
#ifndef TOWER_PLATFORM_X11_PLATFORM_H
#define TOWER_PLATFORM_X11_PLATFORM_H

#include "../core/backend.h"

#include <X11/Xlib.h>
#include <GL/glx.h>

#include <csignal>

namespace x11 {

// The program makes one window; a few spare slots cost nothing.
constexpr int kWindowSlots = 8;
constexpr int kKeycodes = 256;
constexpr int kVirtualKeys = 256;
// Keys that may type one virtual key's symbol at once: Escape on its own key
// and on Caps Lock, say.
constexpr int kKeycodesPerKey = 8;
struct Atoms {
    Atom wmProtocols;
    Atom wmDeleteWindow;
    Atom wmState;
    Atom utf8String;
    Atom netSupported;
    Atom netSupportingWmCheck;
    Atom netWmName;
    Atom netWmFullscreenMonitors;
    Atom netWmIcon;
    Atom netWmPid;
    Atom netWmPing;
    Atom netWmState;
    Atom netWmStateFullscreen;
    Atom netWmWindowType;
    Atom netWmWindowTypeDialog;
    Atom motifWmHints;
};

// What X alone knows of one of the program's windows; the rest is the core's
// WindowState. A slot's BackendId is its index + 1.
struct WindowSlot {
    const platform::WindowState *state; // null while the slot is free
    Window handle;                      // None once another client has destroyed it
    Colormap colormap;                  // ours to free, or None for the screen's default
    // Where the client area's corner is, in root-window coordinates.
    int x;
    int y;
    bool mapped;     // what the server last said
    bool reparented; // into a window manager's frame
    bool onMonitor;  // a pop-up made to cover the primary monitor, and kept there
};

// A monitor's rectangle in root coordinates.
struct Monitor {
    int x;
    int y;
    int width;
    int height;
    int index; // its Xinerama number, which EWMH names it by; -1 when unknown
};

struct Glx {
    bool usable; // GLX 1.3 with at least one framebuffer configuration
    // The list pixel-format numbers index, 1-based, fetched once.
    GLXFBConfig *configs;
    int configCount;
    // The drawable a context is current on, kept here because asking GLX
    // costs a system call on every frame. The core knows which context is
    // current; only GLX knows the X window it draws to, which setting a
    // pixel format replaces.
    GLXDrawable currentDrawable;
};

struct Keyboard {
    bool rawEvents; // XInput2 raw key events arrive; else every poll asks the server
    int xiOpcode;
    bool down[kKeycodes];
    bool pressed[kKeycodes]; // went down since its virtual key was last polled
    // The keys whose symbols, in the current mapping, are each virtual key's.
    KeyCode keycodes[kVirtualKeys][kKeycodesPerKey];
    int keycodeCount[kVirtualKeys];
    int xkbEventBase; // 0 without XKB
};

// Protocol errors collected instead of said, around requests whose failure
// the caller handles itself.
struct Trap {
    bool trapping;
    int trappedError;
};

// The fault handlers' predecessors, to hand a fault that is not ours back to.
struct Signals {
    struct sigaction previousSegv;
    struct sigaction previousBus;
};

struct State {
    Display *display; // null until X11OpenDisplay has connected
    int screen;
    Window root;
    Atoms atoms;
    // An EWMH window manager runs: it draws the title bars. It may also
    // make a window full-screen, and on a monitor that we name.
    bool windowManager;
    bool ewmhFullscreen;
    bool ewmhFullscreenMonitors;
    bool randr;         // 1.3 or later
    bool randrMonitors; // 1.5 or later
    int randrEventBase;
    Monitor primary; // as RandR last described it
    WindowSlot windows[kWindowSlots];
    Glx glx;
    Keyboard keyboard;
    Trap trap;
    Signals signals;
};

extern State g_x11;

// --- x11_icon.cpp, which make_x11_icon makes from icon/tower.ico
// _NET_WM_ICON's data: the icon at 16, 32 and 48 pixels.
extern const unsigned long kX11Icon[];
extern const int kX11IconLongs;

// --- x11_report.cpp: the one way to stderr
// Say a failure, once: "tower: what: detail".
void X11ReportError(const char *what, const char *detail = nullptr);
// The same with the server's own name for an X error code.
void X11ReportXError(const char *what, int errorCode);
// Say that the X server is gone and end the process at once. Safe in a
// signal handler when reason is null.
[[noreturn]] void X11ExitLostConnection(const char *displayName, const char *reason);

// --- x11_error.cpp
void X11InstallErrorHandlers();
// Collect protocol errors instead of reporting them, around requests whose
// failure the caller handles itself. Untrap syncs with the server, so it
// belongs to set-up paths only; it returns the first error code, or Success.
void X11TrapErrors();
int X11UntrapErrors();
// Whether the server has closed our connection; only system calls.
bool X11ConnectionClosed();

// --- x11_signals.cpp
// SIGINT and SIGTERM close the program's windows as their user would; a
// broken pipe is an error for Xlib to report; a fault with the X connection
// closed ends the program as a lost connection.
void X11CatchSignals();
// Only the broken pipe: for the box alone on another backend's program.
void X11IgnoreBrokenPipes();

// --- x11_display.cpp
// Connect to the display DISPLAY names; false, said, without one. alsoTried:
// see OpenBackend.
bool X11OpenDisplay(const char *alsoTried);
// Read a window property of a given type; the caller XFrees *value when the
// count returned is not 0.
unsigned long X11GetWindowProperty(Window window, Atom property, Atom type, unsigned char **value);

// --- x11_monitor.cpp
// Find the primary monitor, and follow the changes RandR announces.
void X11InitRandR();
// What Win32 calls the primary monitor, whose corner is its 0,0: RandR's
// primary monitor, else the one at the screen's origin, else the first;
// before RandR 1.5 the primary output's CRTC, else the first lit one; the
// whole screen without RandR.
Monitor X11PrimaryMonitor();
// Keep the primary monitor up to date from one event; false when it is not
// one of RandR's.
bool X11HandleScreenEvent(XEvent &event);
void X11ScreenSize(int *width, int *height);

// --- x11_window.cpp
platform::BackendId X11CreateWindow(const platform::WindowState *state, int x, int y);
void X11DestroyWindow(platform::BackendId window);
void X11ShowWindow(platform::BackendId window, bool visible);
bool X11WindowExists(platform::BackendId window);
// A slot in use, by its BackendId or by its X window; null for none.
WindowSlot *X11SlotOfId(platform::BackendId window);
WindowSlot *X11SlotOfHandle(Window handle);
platform::BackendId X11IdOf(const WindowSlot &slot);
// Give a window the visual a pixel format needs.
bool X11SetWindowVisual(WindowSlot &slot, Visual *visual, int depth);
// What every top-level window of ours, message boxes included, tells the
// window manager first: its title, class, icon, protocols, process and host.
void X11SetTopLevelProperties(Window window, const char *title, const Atom *protocols, int count);
// The primary monitor moved or changed size: the windows made to cover it
// cover it again.
void X11FollowPrimaryMonitor();
// Ask the window manager to make a mapped window full-screen on the primary
// monitor, where it can be told which.
void X11AskForPrimaryMonitor(const WindowSlot &slot);

// --- x11_events.cpp
// Turn one X event into what the core hears; false when it concerns none of
// the program's windows.
bool X11HandleEvent(XEvent &event);
void X11PumpEvents();

// --- x11_keyboard.cpp
void X11InitKeyboard();
// Keep the key state and the keyboard mapping up to date from one event;
// false when it tells of neither.
bool X11HandleKeyEvent(XEvent &event);
bool X11KeyState(int vkey, bool *pressedSinceLastCall);

// --- x11_message_box.cpp
void X11MessageBox(platform::BackendId owner, const char *text, const char *caption, UINT type);

// --- glx_context.cpp
void GlxInit();
void GlxTerminate();
bool GlxSetPixelFormat(platform::BackendId window, int format);
platform::BackendId GlxCreateContext(platform::BackendId window, int format);
bool GlxMakeCurrent(platform::BackendId window, platform::BackendId context);
void GlxDeleteContext(platform::BackendId context);
bool GlxSwapBuffers(platform::BackendId window);
// Another client destroyed a window: stop drawing to it at once.
void GlxReleaseDrawable(Window window);

// --- glx_pixel_format.cpp
int GlxChoosePixelFormat(const PIXELFORMATDESCRIPTOR *pfd);

} // namespace x11

#endif
