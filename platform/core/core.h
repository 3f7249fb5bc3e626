// Shared state of the Win32 stand-in's core. Tables are fixed-size and slots
// are never reused until ResetCore, so a stale handle stays invalid and
// nothing is allocated once the program is running.
#ifndef TOWER_PLATFORM_CORE_H
#define TOWER_PLATFORM_CORE_H

#include "backend.h"

#include <windows.h>

namespace platform {

constexpr int kMaxClasses = 16;
constexpr int kMaxWindows = 64;
constexpr int kMaxContexts = 64;
// Windows' default limit on posted messages per thread.
constexpr int kQueueCapacity = 10000;
constexpr int kClassNameMax = 256;

struct WindowClass {
    bool used;
    char name[kClassNameMax];
    WNDPROC proc;
};

struct Window {
    bool alive;
    bool destroying;
    BackendId id;
    const WindowClass *cls;
    WindowState state; // the part the backend reads
    bool minimized;
    bool sizeOnShow;
    bool dcTaken;
    int pixelFormat;
};

struct Context {
    bool alive;
    BackendId id;
    int window;
};

struct Core {
    const Backend *backend;
    WindowClass classes[kMaxClasses];
    Window windows[kMaxWindows];
    // Slots handed out so far, destroyed ones included: the next free slot.
    int windowsCreated;
    Context contexts[kMaxContexts];
    int contextsCreated;
    int currentContext; // index + 1 into contexts; 0 when none is current

    MSG queue[kQueueCapacity];
    int queueHead;
    int queueSize;
    bool quitPending;
    int quitCode;
};

extern Core g_core;

// Handle <-> table index; an unknown or dead handle gives -1.
HWND WindowHandle(int index);
int WindowIndex(HWND hwnd);
HDC DCHandle(int index);
int DCWindowIndex(HDC hdc);
HGLRC ContextHandle(int index);
int ContextIndex(HGLRC hglrc);

LRESULT SendToWindow(int index, UINT message, WPARAM wParam, LPARAM lParam);
bool PostToQueue(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

const WindowClass *FindClass(const char *name);

// Unbind the current rendering context, if there is one.
void ReleaseCurrent();
// The window's handle dies, and what the backend holds for it is released,
// the current context first if it is the window's.
void ReleaseWindow(int index);

} // namespace platform

#endif
