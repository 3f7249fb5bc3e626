// Pixel formats as GLX framebuffer configurations, rendering contexts and
// presentation.
#include "x11_platform.h"

#include <X11/Xutil.h>

#include <algorithm>
#include <cstdio>

namespace x11 {

namespace {

// Win32's "either will do" flags, which our windows.h has no use for.
constexpr DWORD kDoubleBufferDontCare = 0x40000000;
constexpr DWORD kStereoDontCare = 0x80000000;

// The list pixel-format numbers index, 1-based, fetched once.
GLXFBConfig *g_configs = nullptr;
int g_configCount = 0;
// The drawable a context is current on, kept here because asking GLX costs
// a system call on every frame. The core knows which context is current; only
// GLX knows the X window it draws to, which setting a pixel format replaces.
GLXDrawable g_currentDrawable = None;

GLXContext ContextOf(platform::BackendId context)
{
    return reinterpret_cast<GLXContext>(context);
}

int Attrib(GLXFBConfig config, int attribute)
{
    int value = 0;
    if (glXGetFBConfigAttrib(g_x11.display, config, attribute, &value) != Success) {
        X11ReportError("GLX cannot describe one of its framebuffer configurations");
        return 0;
    }
    return value;
}

// How far a configuration is from a descriptor, most important first; a
// smaller tuple is a better match. Win32's colour bits leave alpha out.
enum Criterion {
    kColourExcess,
    kDepthExcess,
    kNotTrueColour, // a DirectColor visual shows colours through its colormap's ramp
    kCaveat,        // slow or non-conformant
    kAlphaExcess,
    kStencilExcess,
    kAccumExcess,
    kSamples,
    kAuxExcess,
    kCriteria
};

int Excess(GLXFBConfig config, const PIXELFORMATDESCRIPTOR &pfd, int criterion)
{
    switch (criterion) {
    case kColourExcess:
        return Attrib(config, GLX_RED_SIZE) + Attrib(config, GLX_GREEN_SIZE) +
               Attrib(config, GLX_BLUE_SIZE) - pfd.cColorBits;
    case kDepthExcess:
        return Attrib(config, GLX_DEPTH_SIZE) - pfd.cDepthBits;
    case kNotTrueColour:
        return Attrib(config, GLX_X_VISUAL_TYPE) == GLX_TRUE_COLOR ? 0 : 1;
    case kCaveat:
        return Attrib(config, GLX_CONFIG_CAVEAT) == GLX_NONE ? 0 : 1;
    case kAlphaExcess:
        return Attrib(config, GLX_ALPHA_SIZE) - pfd.cAlphaBits;
    case kStencilExcess:
        return Attrib(config, GLX_STENCIL_SIZE) - pfd.cStencilBits;
    case kAccumExcess:
        return Attrib(config, GLX_ACCUM_RED_SIZE) + Attrib(config, GLX_ACCUM_GREEN_SIZE) +
               Attrib(config, GLX_ACCUM_BLUE_SIZE) + Attrib(config, GLX_ACCUM_ALPHA_SIZE) -
               pfd.cAccumBits;
    case kSamples:
        return Attrib(config, GLX_SAMPLE_BUFFERS) + Attrib(config, GLX_SAMPLES);
    default:
        return Attrib(config, GLX_AUX_BUFFERS) - pfd.cAuxBuffers;
    }
}

// Whether a configuration has at least what the descriptor asks for. Only
// window-capable RGBA configurations with an X visual count.
bool Fits(GLXFBConfig config, const PIXELFORMATDESCRIPTOR &pfd, const int (&excess)[kCriteria])
{
    if ((Attrib(config, GLX_RENDER_TYPE) & GLX_RGBA_BIT) == 0 ||
        (Attrib(config, GLX_DRAWABLE_TYPE) & GLX_WINDOW_BIT) == 0 ||
        Attrib(config, GLX_VISUAL_ID) == 0 || Attrib(config, GLX_LEVEL) != 0) {
        return false;
    }
    const bool doubleBuffered = Attrib(config, GLX_DOUBLEBUFFER) != 0;
    if ((pfd.dwFlags & kDoubleBufferDontCare) == 0 &&
        doubleBuffered != ((pfd.dwFlags & PFD_DOUBLEBUFFER) != 0)) {
        return false;
    }
    const bool stereo = Attrib(config, GLX_STEREO) != 0;
    if ((pfd.dwFlags & kStereoDontCare) == 0 && stereo != ((pfd.dwFlags & PFD_STEREO) != 0)) {
        return false;
    }
    if (Attrib(config, GLX_RED_SIZE) < pfd.cRedBits ||
        Attrib(config, GLX_GREEN_SIZE) < pfd.cGreenBits ||
        Attrib(config, GLX_BLUE_SIZE) < pfd.cBlueBits) {
        return false;
    }
    for (int criterion = 0; criterion < kCriteria; ++criterion) {
        if (criterion != kNotTrueColour && criterion != kCaveat && criterion != kSamples &&
            excess[criterion] < 0) {
            return false;
        }
    }
    return true;
}

// Let GLX drop what cannot fit before we look closer: its own filter reads
// its tables directly, where each of our attribute reads is a library call.
// The list it returns is only ever a subset of the full one.
GLXFBConfig *Candidates(const PIXELFORMATDESCRIPTOR &pfd, int *count)
{
    int attributes[32];
    int n = 0;
    auto add = [&](int attribute, int value) {
        attributes[n++] = attribute;
        attributes[n++] = value;
    };
    add(GLX_RENDER_TYPE, GLX_RGBA_BIT);
    add(GLX_DRAWABLE_TYPE, GLX_WINDOW_BIT);
    add(GLX_X_RENDERABLE, True);
    if ((pfd.dwFlags & kDoubleBufferDontCare) == 0) {
        add(GLX_DOUBLEBUFFER, (pfd.dwFlags & PFD_DOUBLEBUFFER) != 0 ? True : False);
    }
    add(GLX_DEPTH_SIZE, pfd.cDepthBits);
    add(GLX_STENCIL_SIZE, pfd.cStencilBits);
    add(GLX_ALPHA_SIZE, pfd.cAlphaBits);
    attributes[n] = None;
    return glXChooseFBConfig(g_x11.display, g_x11.screen, attributes, count);
}

int IndexOf(GLXFBConfig config)
{
    for (int i = 0; i < g_configCount; ++i) {
        if (g_configs[i] == config) {
            return i;
        }
    }
    return -1;
}

GLXFBConfig ConfigOf(int format)
{
    return format >= 1 && format <= g_configCount ? g_configs[format - 1] : nullptr;
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
    g_configs = glXGetFBConfigs(g_x11.display, g_x11.screen, &g_configCount);
    if (g_configs == nullptr || g_configCount <= 0) {
        X11ReportError("GLX offers no framebuffer configurations");
        g_configs = nullptr;
        g_configCount = 0;
        return;
    }
    g_x11.glx = true;
}

void GlxTerminate()
{
    if (!g_x11.glx) {
        return;
    }
    XFree(g_configs);
    g_configs = nullptr;
    g_configCount = 0;
    g_x11.glx = false;
}

int GlxChoosePixelFormat(const PIXELFORMATDESCRIPTOR *pfd)
{
    if (!g_x11.glx) {
        return 0;
    }
    if (pfd->iPixelType != PFD_TYPE_RGBA) {
        X11ReportError("cannot choose a pixel format", "only RGBA formats are offered");
        return 0;
    }
    int candidateCount = 0;
    GLXFBConfig *candidates = Candidates(*pfd, &candidateCount);
    if (candidates == nullptr) {
        // Nothing passed GLX's own filter; look at everything, the slow way,
        // so a quirk of that filter cannot hide a format that fits.
        candidateCount = g_configCount;
    }
    const GLXFBConfig *list = candidates != nullptr ? candidates : g_configs;

    // Compare one criterion at a time against the best so far, reading the
    // next only while they tie: most configurations lose on colour or depth
    // after a handful of reads.
    int best = 0; // 1-based index into the full list
    int bestExcess[kCriteria] = {};
    for (int c = 0; c < candidateCount; ++c) {
        const GLXFBConfig config = list[c];
        int excess[kCriteria];
        int known = 0;
        int order = best == 0 ? -1 : 0; // <0 better than the best, >0 worse
        while (order == 0 && known < kCriteria) {
            excess[known] = Excess(config, *pfd, known);
            order = excess[known] - bestExcess[known];
            ++known;
        }
        if (order > 0) {
            continue;
        }
        for (; known < kCriteria; ++known) {
            excess[known] = Excess(config, *pfd, known);
        }
        const int index = IndexOf(config);
        // On a full tie the lower pixel-format number wins, whatever order
        // GLX listed them in.
        if (index < 0 || (order == 0 && index + 1 > best) || !Fits(config, *pfd, excess)) {
            continue;
        }
        best = index + 1;
        std::copy(excess, excess + kCriteria, bestExcess);
    }
    if (candidates != nullptr) {
        XFree(candidates);
    }
    if (best == 0) {
        char detail[160];
        std::snprintf(detail, sizeof detail,
                      "none has %d colour bits, %d depth bits and %s buffering", pfd->cColorBits,
                      pfd->cDepthBits,
                      (pfd->dwFlags & PFD_DOUBLEBUFFER) != 0 ? "double" : "single");
        X11ReportError("no GLX framebuffer configuration fits", detail);
    }
    return best;
}

bool GlxSetPixelFormat(platform::BackendId window, int format)
{
    WindowSlot *slot = X11WindowOfId(window);
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
    const WindowSlot *slot = X11WindowOfId(window);
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
    if (!g_x11.glx) {
        return false;
    }
    if (context == 0) {
        g_currentDrawable = None;
        return glXMakeCurrent(g_x11.display, None, nullptr) == True;
    }
    const WindowSlot *slot = X11WindowOfId(window);
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
    g_currentDrawable = slot->handle;
    return true;
}

void GlxDeleteContext(platform::BackendId context)
{
    if (!g_x11.glx) {
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
    if (g_x11.glx && window != None && g_currentDrawable == window) {
        glXMakeCurrent(g_x11.display, None, nullptr);
        g_currentDrawable = None;
    }
}

bool GlxSwapBuffers(platform::BackendId window)
{
    const WindowSlot *slot = X11WindowOfId(window);
    if (slot == nullptr || slot->handle == None) {
        return false;
    }
    // After teardown the loop still presents until it sees WM_QUIT. With no
    // context current on the window there is nothing to show, and GLX would
    // answer the swap with BadMatch.
    if (g_currentDrawable == slot->handle) {
        glXSwapBuffers(g_x11.display, slot->handle);
    }
    return true;
}

} // namespace x11
