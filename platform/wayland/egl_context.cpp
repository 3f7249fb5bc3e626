// EGL on the Wayland platform with desktop OpenGL: its configurations,
// setting a window's pixel format (its wl_egl_window and EGL surface),
// rendering contexts and presentation. A context's BackendId is the
// EGLContext itself.
#include "wayland_platform.h"

#include <EGL/eglext.h>
#include <wayland-egl.h>

#include <cstring>

namespace wayland {

namespace {

EGLContext ContextOf(platform::BackendId context)
{
    return reinterpret_cast<EGLContext>(context);
}

EGLConfig ConfigOf(int format)
{
    const Egl &egl = g_wayland.egl;
    return format >= 1 && format <= egl.configCount ? egl.configs[format - 1] : nullptr;
}

// Release whatever context is current; false, and said, when EGL refuses.
bool Release()
{
    Egl &egl = g_wayland.egl;
    egl.currentSurface = EGL_NO_SURFACE;
    if (eglMakeCurrent(egl.display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT) == EGL_FALSE) {
        EglReportError("cannot release the rendering context");
        return false;
    }
    return true;
}

bool HasExtension(const char *list, const char *name)
{
    const std::size_t length = std::strlen(name);
    for (const char *at = list; at != nullptr && (at = std::strstr(at, name)) != nullptr;
         at += length) {
        const bool starts = at == list || at[-1] == ' ';
        if (starts && (at[length] == ' ' || at[length] == '\0')) {
            return true;
        }
    }
    return false;
}

// The EGL display over our Wayland connection.
EGLDisplay PlatformDisplay()
{
    // Client extensions; null where EGL has none, which is no failure.
    const char *extensions = eglQueryString(EGL_NO_DISPLAY, EGL_EXTENSIONS);
    if (!HasExtension(extensions, "EGL_KHR_platform_wayland") &&
        !HasExtension(extensions, "EGL_EXT_platform_wayland")) {
        WaylandReportError("EGL cannot draw on Wayland; OpenGL cannot be used");
        return EGL_NO_DISPLAY;
    }
    // The KHR and EXT platforms share one value.
    const EGLDisplay display =
        eglGetPlatformDisplay(EGL_PLATFORM_WAYLAND_KHR, g_wayland.display, nullptr);
    if (display == EGL_NO_DISPLAY) {
        EglReportError("EGL has no display for the Wayland connection");
    }
    return display;
}

} // namespace

void EglInit()
{
    Egl &egl = g_wayland.egl;
    egl.display = PlatformDisplay();
    if (egl.display == EGL_NO_DISPLAY) {
        return;
    }
    EGLint major = 0;
    EGLint minor = 0;
    if (eglInitialize(egl.display, &major, &minor) == EGL_FALSE) {
        EglReportError("cannot initialise EGL; OpenGL cannot be used");
        egl.display = EGL_NO_DISPLAY;
        return;
    }
    // The fixed-function program needs desktop OpenGL, not OpenGL ES.
    if (eglBindAPI(EGL_OPENGL_API) == EGL_FALSE) {
        EglReportError("EGL offers no desktop OpenGL; OpenGL cannot be used");
        return;
    }
    if (eglGetConfigs(egl.display, egl.configs, kEglConfigs, &egl.configCount) == EGL_FALSE ||
        egl.configCount <= 0) {
        EglReportError("EGL offers no framebuffer configurations");
        egl.configCount = 0;
        return;
    }
    egl.usable = true;
}

bool EglSetPixelFormat(platform::BackendId window, int format)
{
    WindowSlot *slot = WaylandSlotOfId(window);
    const EGLConfig config = ConfigOf(format);
    if (slot == nullptr || config == nullptr) {
        return false;
    }
    int width = 0;
    int height = 0;
    WaylandPixelSize(*slot, &width, &height);
    slot->eglWindow = wl_egl_window_create(slot->surface, width, height);
    if (slot->eglWindow == nullptr) {
        WaylandReportError("cannot set the pixel format", "no wl_egl_window for the surface");
        return false;
    }
    slot->eglSurface =
        eglCreatePlatformWindowSurface(g_wayland.egl.display, config, slot->eglWindow, nullptr);
    if (slot->eglSurface == EGL_NO_SURFACE) {
        EglReportError("cannot set the pixel format");
        wl_egl_window_destroy(slot->eglWindow);
        slot->eglWindow = nullptr;
        return false;
    }
    return true;
}

platform::BackendId EglCreateContext(platform::BackendId window, int format)
{
    const EGLConfig config = ConfigOf(format);
    if (WaylandSlotOfId(window) == nullptr || config == nullptr) {
        return 0;
    }
    // No attributes: a compatibility context of the newest version, which
    // keeps the fixed-function calls the program makes.
    const EGLint attributes[] = {EGL_NONE};
    const EGLContext context =
        eglCreateContext(g_wayland.egl.display, config, EGL_NO_CONTEXT, attributes);
    if (context == EGL_NO_CONTEXT) {
        EglReportError("cannot create the rendering context");
        return 0;
    }
    return reinterpret_cast<platform::BackendId>(context);
}

bool EglMakeCurrent(platform::BackendId window, platform::BackendId context)
{
    Egl &egl = g_wayland.egl;
    if (!egl.usable) {
        return false;
    }
    if (context == 0) {
        return Release();
    }
    WindowSlot *slot = WaylandSlotOfId(window);
    if (slot == nullptr || slot->eglSurface == EGL_NO_SURFACE) {
        return false;
    }
    if (eglMakeCurrent(egl.display, slot->eglSurface, slot->eglSurface, ContextOf(context)) ==
        EGL_FALSE) {
        EglReportError("cannot make the rendering context current");
        return false;
    }
    egl.currentSurface = slot->eglSurface;
    // The program paces itself with Sleep(1). A swap that waited for the
    // compositor's frame would wait for ever on a surface it does not show.
    if (!slot->swapIntervalSet) {
        slot->swapIntervalSet = true;
        if (eglSwapInterval(egl.display, 0) == EGL_FALSE) {
            EglReportError("cannot present without waiting; a hidden window may stall the program");
        }
    }
    return true;
}

void EglDeleteContext(platform::BackendId context)
{
    if (g_wayland.egl.usable &&
        eglDestroyContext(g_wayland.egl.display, ContextOf(context)) == EGL_FALSE) {
        EglReportError("cannot delete the rendering context");
    }
}

void EglReleaseSurface(WindowSlot &slot)
{
    if (slot.eglSurface != EGL_NO_SURFACE) {
        const Egl &egl = g_wayland.egl;
        if (egl.currentSurface == slot.eglSurface) {
            Release();
        }
        if (eglDestroySurface(egl.display, slot.eglSurface) == EGL_FALSE) {
            EglReportError("cannot destroy the window's EGL surface");
        }
        slot.eglSurface = EGL_NO_SURFACE;
    }
    if (slot.eglWindow != nullptr) {
        wl_egl_window_destroy(slot.eglWindow);
        slot.eglWindow = nullptr;
    }
}

bool EglSwapBuffers(platform::BackendId window)
{
    const WindowSlot *slot = WaylandSlotOfId(window);
    if (slot == nullptr) {
        return false;
    }
    // After teardown the loop still presents until it sees WM_QUIT, and a
    // surface the compositor has not configured may not have a buffer yet:
    // with nothing current on the window, or nowhere to show it, there is
    // nothing to present.
    if (slot->eglSurface == EGL_NO_SURFACE || g_wayland.egl.currentSurface != slot->eglSurface ||
        !slot->configured || !slot->state->visible) {
        return true;
    }
    if (eglSwapBuffers(g_wayland.egl.display, slot->eglSurface) == EGL_FALSE) {
        if (wl_display_get_error(g_wayland.display) != 0) {
            WaylandExitLostConnection();
        }
        EglReportError("cannot present the frame");
        return false;
    }
    return true;
}

} // namespace wayland
