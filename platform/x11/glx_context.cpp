// GLX itself: its framebuffer configurations, setting a window's pixel
// format, rendering contexts and presentation. A context's BackendId is the
// GLXContext itself.
#include "x11_platform.h"

#include <X11/Xutil.h>

namespace x11 {

namespace {

GLXContext ContextOf(platform::BackendId context)
{
    return reinterpret_cast<GLXContext>(context);
}

// Release whatever context is current; false, and said, when GLX refuses.
bool Release()
{
    g_x11.glx.currentDrawable = None;
    if (glXMakeCurrent(g_x11.display, None, nullptr) == False) {
        X11ReportError("cannot release the rendering context");
        return false;
    }
    return true;
}

GLXFBConfig ConfigOf(int format)
{
    const Glx &glx = g_x11.glx;
    return format >= 1 && format <= glx.configCount ? glx.configs[format - 1] : nullptr;
}

} // namespace

void GlxInit()
{
    int errorBase = 0;
    int eventBase = 0;
    int major = 0;
    int minor = 0;
    // Framebuffer configurations came with GLX 1.3.
    if (glXQueryExtension(g_x11.display, &errorBase, &eventBase) == False ||
        glXQueryVersion(g_x11.display, &major, &minor) == False || (major == 1 && minor < 3)) {
        X11ReportError("the X server offers no GLX 1.3; OpenGL cannot be used");
        return;
    }
    Glx &glx = g_x11.glx;
    glx.configs = glXGetFBConfigs(g_x11.display, g_x11.screen, &glx.configCount);
    if (glx.configs == nullptr || glx.configCount <= 0) {
        X11ReportError("GLX offers no framebuffer configurations");
        glx = Glx{};
        return;
    }
    glx.usable = true;
}

void GlxTerminate()
{
    if (g_x11.glx.usable) {
        XFree(g_x11.glx.configs);
    }
    g_x11.glx = Glx{};
}

bool GlxSetPixelFormat(platform::BackendId window, int format)
{
    WindowSlot *slot = X11SlotOfId(window);
    const GLXFBConfig config = ConfigOf(format);
    if (slot == nullptr || config == nullptr) {
        return false;
    }
    XVisualInfo *visual = glXGetVisualFromFBConfig(g_x11.display, config);
    if (visual == nullptr) {
        X11ReportError("cannot set the pixel format", "its configuration has no X visual");
        return false;
    }
    const bool ok = X11SetWindowVisual(*slot, visual->visual, visual->depth);
    XFree(visual);
    return ok;
}

platform::BackendId GlxCreateContext(platform::BackendId window, int format)
{
    const WindowSlot *slot = X11SlotOfId(window);
    const GLXFBConfig config = ConfigOf(format);
    if (slot == nullptr || config == nullptr) {
        return 0;
    }
    // The fixed-function program needs a legacy context, so no
    // glXCreateContextAttribsARB and no profile.
    X11TrapErrors();
    const GLXContext context =
        glXCreateNewContext(g_x11.display, config, GLX_RGBA_TYPE, nullptr, True);
    const int error = X11UntrapErrors();
    if (context == nullptr || error != Success) {
        X11ReportXError("cannot create the rendering context", error);
        if (context != nullptr) {
            glXDestroyContext(g_x11.display, context);
        }
        return 0;
    }
    return reinterpret_cast<platform::BackendId>(context);
}

bool GlxMakeCurrent(platform::BackendId window, platform::BackendId context)
{
    if (!g_x11.glx.usable) {
        return false;
    }
    if (context == 0) {
        return Release();
    }
    const WindowSlot *slot = X11SlotOfId(window);
    if (slot == nullptr || slot->handle == None) {
        return false;
    }
    X11TrapErrors();
    const Bool made = glXMakeCurrent(g_x11.display, slot->handle, ContextOf(context));
    const int error = X11UntrapErrors();
    if (made == False || error != Success) {
        X11ReportXError("cannot make the rendering context current", error);
        return false;
    }
    g_x11.glx.currentDrawable = slot->handle;
    return true;
}

void GlxDeleteContext(platform::BackendId context)
{
    if (!g_x11.glx.usable) {
        return;
    }
    glXDestroyContext(g_x11.display, ContextOf(context));
}

void GlxReleaseDrawable(Window window)
{
    // HACK: Mesa's software driver asks the server for a dead window's size,
    // ignores the error and clears a buffer of whatever size it then holds,
    // which can take seconds. Nothing may draw to the window once it is gone,
    // even before the program hears of it and tears down.
    if (g_x11.glx.usable && window != None && g_x11.glx.currentDrawable == window) {
        Release();
    }
}

bool GlxSwapBuffers(platform::BackendId window)
{
    const WindowSlot *slot = X11SlotOfId(window);
    if (slot == nullptr || slot->handle == None) {
        return false;
    }
    // After teardown the loop still presents until it sees WM_QUIT. With no
    // context current on the window there is nothing to show, and GLX would
    // answer the swap with BadMatch.
    if (g_x11.glx.currentDrawable == slot->handle) {
        glXSwapBuffers(g_x11.display, slot->handle);
    }
    return true;
}

} // namespace x11
