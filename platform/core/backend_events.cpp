// What a backend tells the core: the window system's news about our windows,
// turned into the messages Win32 would send for it.
#include "core.h"

namespace platform {

namespace {

int IndexOf(BackendId window)
{
    for (int i = 0; i < g_core.windowsCreated; ++i) {
        const Window &w = g_core.windows[i];
        if (w.alive && w.id == window) {
            return i;
        }
    }
    return -1;
}

void PostSize(int index, WPARAM kind, int width, int height)
{
    PostToQueue(WindowHandle(index), WM_SIZE, kind, MAKELPARAM(width, height));
}

} // namespace

bool PostWindowEvent(BackendId window, UINT message, WPARAM wParam, LPARAM lParam)
{
    const int index = IndexOf(window);
    return index >= 0 && PostToQueue(WindowHandle(index), message, wParam, lParam);
}

void WindowResized(BackendId window, int width, int height)
{
    const int index = IndexOf(window);
    if (index < 0) {
        return;
    }
    WindowState &state = g_core.windows[index].state;
    if (width == state.width && height == state.height) {
        return;
    }
    state.width = width;
    state.height = height;
    // A minimised window hears its size when it is restored.
    if (!g_core.windows[index].minimized) {
        PostSize(index, SIZE_RESTORED, width, height);
    }
}

void WindowMinimized(BackendId window)
{
    const int index = IndexOf(window);
    if (index < 0 || g_core.windows[index].minimized) {
        return;
    }
    g_core.windows[index].minimized = true;
    PostSize(index, SIZE_MINIMIZED, 0, 0);
}

void WindowRestored(BackendId window)
{
    const int index = IndexOf(window);
    if (index < 0 || !g_core.windows[index].minimized) {
        return;
    }
    Window &w = g_core.windows[index];
    w.minimized = false;
    PostSize(index, SIZE_RESTORED, w.state.width, w.state.height);
}

bool CloseAllWindows()
{
    bool told = false;
    for (int i = 0; i < g_core.windowsCreated; ++i) {
        if (g_core.windows[i].alive) {
            told = PostToQueue(WindowHandle(i), WM_CLOSE, 0, 0) || told;
        }
    }
    return told;
}

void ReleaseAll()
{
    ReleaseCurrent();
    for (int i = 0; i < g_core.contextsCreated; ++i) {
        Context &c = g_core.contexts[i];
        if (c.alive) {
            g_core.backend->deleteContext(c.id);
            c.alive = false;
        }
    }
    for (int i = 0; i < g_core.windowsCreated; ++i) {
        if (g_core.windows[i].alive) {
            ReleaseWindow(i);
        }
    }
}

} // namespace platform
