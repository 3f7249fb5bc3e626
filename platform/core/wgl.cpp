// Pixel formats, rendering contexts and presentation.
#include "core.h"

#include <cstdio>

namespace platform {

void ReleaseCurrent()
{
    if (g_core.currentContext == 0) {
        return;
    }
    const Context &c = g_core.contexts[g_core.currentContext - 1];
    g_core.backend->makeCurrent(g_core.windows[c.window].id, 0);
    g_core.currentContext = 0;
}

namespace {

// The window behind a device context whose pixel format is set, the only
// kind a context is made, made current or swapped on; -1 for any other.
int FormattedWindowIndex(HDC hdc)
{
    const int index = DCWindowIndex(hdc);
    return index >= 0 && g_core.windows[index].pixelFormat != 0 ? index : -1;
}

} // namespace

} // namespace platform

using namespace platform;

int WINAPI ChoosePixelFormat(HDC hdc, const PIXELFORMATDESCRIPTOR *pfd)
{
    if (DCWindowIndex(hdc) < 0) {
        return 0;
    }
    if (pfd == nullptr || pfd->nSize != sizeof *pfd) {
        ReportError("cannot choose a pixel format", "its PIXELFORMATDESCRIPTOR has no size");
        return 0;
    }
    return g_core.backend->choosePixelFormat(pfd);
}

BOOL WINAPI SetPixelFormat(HDC hdc, int format, const PIXELFORMATDESCRIPTOR * /*pfd*/)
{
    const int index = DCWindowIndex(hdc);
    if (index < 0 || format <= 0) {
        return FALSE;
    }
    Window &w = g_core.windows[index];
    // A window's pixel format can be set once; asking again for the same one
    // is harmless, asking for another fails.
    if (w.pixelFormat == format) {
        return TRUE;
    }
    if (w.pixelFormat != 0) {
        ReportError("cannot set a pixel format", "the window has another already");
        return FALSE;
    }
    if (!g_core.backend->setPixelFormat(w.id, format)) {
        return FALSE;
    }
    w.pixelFormat = format;
    return TRUE;
}

HGLRC WINAPI wglCreateContext(HDC hdc)
{
    const int index = FormattedWindowIndex(hdc);
    if (index < 0) {
        return nullptr;
    }
    if (g_core.contextsCreated == kMaxContexts) {
        char detail[64];
        std::snprintf(detail, sizeof detail, "all %d contexts have been made", kMaxContexts);
        ReportError("cannot create a rendering context", detail);
        return nullptr;
    }
    const Window &w = g_core.windows[index];
    const BackendId id = g_core.backend->createContext(w.id, w.pixelFormat);
    if (id == 0) {
        return nullptr;
    }
    const int ctx = g_core.contextsCreated++;
    g_core.contexts[ctx] = Context{true, id, index};
    return ContextHandle(ctx);
}

BOOL WINAPI wglMakeCurrent(HDC hdc, HGLRC hglrc)
{
    if (hglrc == nullptr) {
        // Releasing needs no device context; with none current it is a no-op.
        ReleaseCurrent();
        return TRUE;
    }
    const int ctx = ContextIndex(hglrc);
    const int index = FormattedWindowIndex(hdc);
    if (ctx < 0 || index < 0) {
        return FALSE;
    }
    if (!g_core.backend->makeCurrent(g_core.windows[index].id, g_core.contexts[ctx].id)) {
        return FALSE;
    }
    g_core.currentContext = ctx + 1;
    return TRUE;
}

BOOL WINAPI wglDeleteContext(HGLRC hglrc)
{
    const int ctx = ContextIndex(hglrc);
    if (ctx < 0) {
        return FALSE;
    }
    Context &c = g_core.contexts[ctx];
    if (g_core.currentContext == ctx + 1) {
        ReleaseCurrent();
    }
    g_core.backend->deleteContext(c.id);
    c.alive = false;
    return TRUE;
}

BOOL WINAPI SwapBuffers(HDC hdc)
{
    const int index = FormattedWindowIndex(hdc);
    return index >= 0 && g_core.backend->swapBuffers(g_core.windows[index].id) ? TRUE : FALSE;
}
