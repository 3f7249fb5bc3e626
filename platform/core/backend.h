// The seam beneath the Win32 stand-in: what a backend (X11/GLX, or the
// scripted one tests use) provides to the core. The core owns every Win32
// rule (handles, classes, the queue); a backend only acquires and releases
// the real things and reports what the window system says.
#ifndef TOWER_PLATFORM_BACKEND_H
#define TOWER_PLATFORM_BACKEND_H

#include <windows.h>

#include <cstdint>

namespace platform {

// A backend's own name for a window or context; 0 means none.
using BackendId = std::uintptr_t;

struct Backend {
    // Size of the primary monitor in pixels.
    void (*screenSize)(int *width, int *height);

    // Switch the display to a mode, where 0 bits means the current depth;
    // returns a DISP_CHANGE_* code.
    LONG (*setDisplayMode)(int width, int height, int bitsPerPixel);
    // Return the display to the mode it had when the program started.
    LONG (*restoreDisplayMode)();

    // Create a hidden top-level window whose client area is the given
    // rectangle; returns 0 on failure.
    BackendId (*createWindow)(int x, int y, int width, int height, DWORD style, const char *title);
    void (*destroyWindow)(BackendId window);
    void (*showWindow)(BackendId window, bool visible);

    // Whether the window's device context can be had.
    bool (*getDC)(BackendId window);

    // Pixel formats are numbered from 1; 0 means no match.
    int (*choosePixelFormat)(const PIXELFORMATDESCRIPTOR *pfd);
    bool (*setPixelFormat)(BackendId window, int format);

    BackendId (*createContext)(BackendId window, int format);
    // Make a context current on a window; a context of 0 releases the current one.
    bool (*makeCurrent)(BackendId window, BackendId context);
    void (*deleteContext)(BackendId context);
    bool (*swapBuffers)(BackendId window);

    // Whether a virtual key is down now, and whether it went down since the
    // previous call for that key.
    bool (*keyState)(int vkey, bool *pressedSinceLastCall);

    void (*messageBox)(BackendId owner, const char *text, const char *caption, UINT type);
    void (*sleep)(DWORD milliseconds);

    // Hand any pending window-system events to the core (PostWindowEvent).
    void (*pumpEvents)();
};

// Install the backend the core calls; must be done before WinMain runs.
void SetBackend(const Backend *backend);

// Forget every class, window, context and queued message, as a fresh process
// would have; the backend is kept. Tests run many programs in one process.
void ResetCore();

// Queue a message that the window system sent to one of our windows. Returns
// false when the window is unknown or the queue is full.
bool PostWindowEvent(BackendId window, UINT message, WPARAM wParam, LPARAM lParam);

} // namespace platform

#endif
