// Pixel formats, rendering contexts and presentation.
#include "core.h"

using namespace platform;

int WINAPI ChoosePixelFormat(HDC hdc, const PIXELFORMATDESCRIPTOR *pfd)
{
    if (DCWindowIndex(hdc) < 0 || pfd == nullptr || pfd->nSize != sizeof *pfd) {
        return 0;
    }
    return Be().choosePixelFormat(pfd);
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
    if (w.pixelFormat != 0) {
        return w.pixelFormat == format ? TRUE : FALSE;
    }
    if (!Be().setPixelFormat(w.id, format)) {
        return FALSE;
    }
    w.pixelFormat = format;
    return TRUE;
}

HGLRC WINAPI wglCreateContext(HDC hdc)
{
    const int index = DCWindowIndex(hdc);
    if (index < 0 || g_core.windows[index].pixelFormat == 0 ||
        g_core.contextCount == kMaxContexts) {
        return nullptr;
    }
    const Window &w = g_core.windows[index];
    const BackendId id = Be().createContext(w.id, w.pixelFormat);
    if (id == 0) {
        return nullptr;
    }
    const int ctx = g_core.contextCount++;
    g_core.contexts[ctx] = Context{true, id, index};
    return ContextHandle(ctx);
}

BOOL WINAPI wglMakeCurrent(HDC hdc, HGLRC hglrc)
{
    if (hglrc == nullptr) {
        // Releasing needs no device context; with none current it is a no-op.
        if (g_core.currentContext != 0) {
            const Context &c = g_core.contexts[g_core.currentContext - 1];
            Be().makeCurrent(g_core.windows[c.window].id, 0);
            g_core.currentContext = 0;
        }
        return TRUE;
    }
    const int ctx = ContextIndex(hglrc);
    const int index = DCWindowIndex(hdc);
    if (ctx < 0 || index < 0 || g_core.windows[index].pixelFormat == 0) {
        return FALSE;
    }
    if (!Be().makeCurrent(g_core.windows[index].id, g_core.contexts[ctx].id)) {
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
        Be().makeCurrent(g_core.windows[c.window].id, 0);
        g_core.currentContext = 0;
    }
    Be().deleteContext(c.id);
    c.alive = false;
    return TRUE;
}

BOOL WINAPI SwapBuffers(HDC hdc)
{
    const int index = DCWindowIndex(hdc);
    if (index < 0 || g_core.windows[index].pixelFormat == 0) {
        return FALSE;
    }
    return Be().swapBuffers(g_core.windows[index].id) ? TRUE : FALSE;
}
