// The seam beneath the Win32 stand-in: what a backend provides to the core,
// and what the core does for a backend in return. There are three: x11/
// (Xlib and GLX) for the program on Linux, web/ (the browser, through
// Emscripten) for the web page, and scripted/ for the tests, which answers
// from a script and keeps a record.
//
// The core keeps every Win32 rule: handles, classes, the message queue, which
// message a window hears and when, the one current rendering context, the
// display mode of a screen that cannot change it, and what may be asked of an
// object in which state. A backend only acquires and releases the window
// system's real things, and tells the core what the window system says.
//
// A backend provides one Backend table, filled slot by slot and installed
// with SetBackend before WinMain runs. Every slot is filled but the two
// display-mode slots, which a backend whose mode cannot change leaves empty.
// The core calls it on the program's one thread, only with ids that backend
// handed out and has not yet been told to release, and never with a null
// pointer. Nothing may be allocated once the program is running: the frame
// loop calls keyState, sleep, swapBuffers and pumpEvents on every pass.
//
// Failures. A slot that fails returns the failure value its comment names,
// having said why through the one sink, reportError; the core turns that
// into the Win32 call's failure. The core says its own refusals through the
// same sink (ReportError below). Each backend says a line once, however
// often it recurs: x11/ on stderr, web/ on the browser's console, scripted/
// in its record. What only follows from a failure already said, such as a
// handle that died or a context never made, is Win32's quiet answer and is
// not said again.
//
// Each window's state is held once. The core's record of a window holds what
// Win32 knows of it; the part a backend may read is its WindowState, below,
// which the core alone writes. The backend's own record holds only what the
// window system alone knows (for X11: the X window, its colormap, whether the
// server has it mapped), under a BackendId of the backend's choosing. Contexts
// likewise: the core knows which one is current; the backend holds the
// context itself.
#ifndef TOWER_PLATFORM_BACKEND_H
#define TOWER_PLATFORM_BACKEND_H

#include <windows.h>

#include <cstdint>

namespace platform {

// A backend's own name for a window or context; 0 means none.
using BackendId = std::uintptr_t;

constexpr int kWindowTitleMax = 256;

// What Win32 knows of a window that a backend needs to read. createWindow is
// given a pointer to it, which stays valid, and current, until destroyWindow.
struct WindowState {
    DWORD style;
    char title[kWindowTitleMax]; // cut to fit, as the program asked for it
    // The client area's size: the size the window was created with, then
    // every size the backend has reported through WindowResized.
    int width;
    int height;
    bool visible; // as the program last asked through ShowWindow
};

struct Backend {
    // Say a failure: "what: detail", or "what" alone when detail is null.
    // Each different line is said once.
    void (*reportError)(const char *what, const char *detail);

    // Size of the primary monitor in pixels; 0 by 0 with no display.
    void (*screenSize)(int *width, int *height);

    // Switch the display to a mode, where 0 bits means the current depth;
    // returns a DISP_CHANGE_* code. Both slots empty: the mode cannot change
    // (an X server, a page), and the core accepts only the one already
    // there, at any depth a pixel format can stand in for.
    LONG (*setDisplayMode)(int width, int height, int bitsPerPixel);
    // Return the display to the mode it had when the program started.
    LONG (*restoreDisplayMode)();
    // What screenSize measures, as the core's refusal of a mode names it
    // ("screen", "page"); only read when setDisplayMode is empty.
    const char *screenName;

    // Create a hidden top-level window with the client area state->width by
    // state->height at x, y, where the primary monitor's corner is 0, 0;
    // returns 0 on failure. Nothing is sent to the program from in here.
    BackendId (*createWindow)(const WindowState *state, int x, int y);
    // The window's id is never passed again after this.
    void (*destroyWindow)(BackendId window);
    // Map or unmap the window; state->visible already says which.
    void (*showWindow)(BackendId window, bool visible);

    // Whether the window is still there to draw on: another client may
    // have destroyed it. GetDC hands out a device context only then.
    bool (*windowExists)(BackendId window);

    // Pixel formats are numbered from 1; 0 means no match. Once
    // setPixelFormat has succeeded for a window the core never calls it
    // for that window again.
    int (*choosePixelFormat)(const PIXELFORMATDESCRIPTOR *pfd);
    bool (*setPixelFormat)(BackendId window, int format);

    // Only on a window whose pixel format is set, with that format.
    BackendId (*createContext)(BackendId window, int format);
    // Make a context current on a window whose pixel format is set. A
    // context of 0 releases the current one; window is then the one the
    // context was created for, or 0 once that window is gone.
    bool (*makeCurrent)(BackendId window, BackendId context);
    // The core releases a context before deleting it if it is current.
    void (*deleteContext)(BackendId context);
    // Present the back buffer; true also when nothing is current on the
    // window to present, as after teardown, while the loop runs on.
    bool (*swapBuffers)(BackendId window);

    // Whether a virtual key is down now, and whether it went down since the
    // previous call for that key.
    bool (*keyState)(int vkey, bool *pressedSinceLastCall);

    // Show a modal box and return once it is dismissed. The owner is 0 when
    // the box has none. Window-system events that arrive meanwhile go to the
    // core as they would from pumpEvents.
    void (*messageBox)(BackendId owner, const char *text, const char *caption, UINT type);
    void (*sleep)(DWORD milliseconds);

    // Hand any pending window-system events to the core, through the calls
    // below; never blocks.
    void (*pumpEvents)();
};

// Install the backend the core calls; must be done before WinMain runs.
void SetBackend(const Backend *backend);

// Forget every class, window, context and queued message, as a fresh process
// would have; the backend is kept. Tests run many programs in one process.
void ResetCore();

// Say a failure through the installed backend's reportError: the core's
// refusals go this way, and so may any backend's own.
void ReportError(const char *what, const char *detail = nullptr);

// --- What a backend tells the core. An unknown window is ignored.

// Queue a message that the window system sent to one of our windows. Returns
// false when the window is unknown or the queue is full.
bool PostWindowEvent(BackendId window, UINT message, WPARAM wParam, LPARAM lParam);

// The window's client area now has this size. The program hears of a change
// as Win32 tells it, with WM_SIZE, at once or when the window is restored.
void WindowResized(BackendId window, int width, int height);

// The user minimised or restored the window; repeats are ignored.
void WindowMinimized(BackendId window);
void WindowRestored(BackendId window);

// Ask every window to close, as their user would (WM_CLOSE); false when no
// window could be asked, as before the first exists.
bool CloseAllWindows();

// Release every context and window still alive, through the backend, as the
// process exit does on Win32; for a backend that is closing down.
void ReleaseAll();

} // namespace platform

#endif
