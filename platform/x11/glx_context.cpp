// Pixel formats as GLX framebuffer configurations, rendering contexts and
// presentation.
#include "x11_platform.h"

#include <X11/Xutil.h>

#include <cstdio>

namespace x11 {

namespace {

// Win32's "either will do" flags, which our windows.h has no use for.
constexpr DWORD kDoubleBufferDontCare = 0x40000000;
constexpr DWORD kStereoDontCare = 0x80000000;

// The list pixel-format numbers index, 1-based, fetched once.
GLXFBConfig *g_configs = nullptr;
int g_configCount = 0;
GLXContext g_contexts[kMaxContexts];

int Attrib(GLXFBConfig config, int attribute)
{
    int value = 0;
    if (glXGetFBConfigAttrib(g_x11.display, config, attribute, &value) != Success) {
        ReportError("GLX cannot describe one of its framebuffer configurations");
        return 0;
    }
    return value;
}

// How far a configuration is from a descriptor, most important first; a
// smaller tuple is a better match.
struct Distance {
    enum { kCriteria = 9 };
    int excess[kCriteria];

    bool operator<(const Distance &o) const
    {
        for (int i = 0; i < kCriteria; ++i) {
            if (excess[i] != o.excess[i]) {
                return excess[i] < o.excess[i];
            }
        }
        return false;
    }
};

// Whether a configuration has at least what the descriptor asks for, and how
// much more. Only window-capable RGBA configurations with an X visual count.
bool Measure(GLXFBConfig config, const PIXELFORMATDESCRIPTOR &pfd, Distance *distance)
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
    const int red = Attrib(config, GLX_RED_SIZE);
    const int green = Attrib(config, GLX_GREEN_SIZE);
    const int blue = Attrib(config, GLX_BLUE_SIZE);
    const int colour = red + green + blue; // Win32's colour bits leave alpha out
    const int alpha = Attrib(config, GLX_ALPHA_SIZE);
    const int depth = Attrib(config, GLX_DEPTH_SIZE);
    const int stencil = Attrib(config, GLX_STENCIL_SIZE);
    const int accum = Attrib(config, GLX_ACCUM_RED_SIZE) + Attrib(config, GLX_ACCUM_GREEN_SIZE) +
                      Attrib(config, GLX_ACCUM_BLUE_SIZE) + Attrib(config, GLX_ACCUM_ALPHA_SIZE);
    const int aux = Attrib(config, GLX_AUX_BUFFERS);
    if (colour < pfd.cColorBits || red < pfd.cRedBits || green < pfd.cGreenBits ||
        blue < pfd.cBlueBits || alpha < pfd.cAlphaBits || depth < pfd.cDepthBits ||
        stencil < pfd.cStencilBits || accum < pfd.cAccumBits || aux < pfd.cAuxBuffers) {
        return false;
    }
    // A DirectColor visual would show our colours through whatever ramp its
    // colormap holds, and a caveat means slow or non-conformant.
    const int trueColour = Attrib(config, GLX_X_VISUAL_TYPE) == GLX_TRUE_COLOR ? 0 : 1;
    const int caveat = Attrib(config, GLX_CONFIG_CAVEAT) == GLX_NONE ? 0 : 1;
    const int samples = Attrib(config, GLX_SAMPLE_BUFFERS) + Attrib(config, GLX_SAMPLES);
    *distance = Distance{{colour - pfd.cColorBits, depth - pfd.cDepthBits, trueColour, caveat,
                          alpha - pfd.cAlphaBits, stencil - pfd.cStencilBits,
                          accum - pfd.cAccumBits, samples, aux - pfd.cAuxBuffers}};
    return true;
}

GLXFBConfig ConfigOf(int format)
{
    return format >= 1 && format <= g_configCount ? g_configs[format - 1] : nullptr;
}

} // namespace

void InitGLX()
{
    int errorBase = 0;
    int eventBase = 0;
    int major = 0;
    int minor = 0;
    // Framebuffer configurations came with GLX 1.3.
    if (glXQueryExtension(g_x11.display, &errorBase, &eventBase) == False ||
        glXQueryVersion(g_x11.display, &major, &minor) == False || (major == 1 && minor < 3)) {
        ReportError("the X server offers no GLX 1.3; OpenGL cannot be used");
        return;
    }
    g_configs = glXGetFBConfigs(g_x11.display, g_x11.screen, &g_configCount);
    if (g_configs == nullptr || g_configCount <= 0) {
        ReportError("GLX offers no framebuffer configurations");
        g_configs = nullptr;
        g_configCount = 0;
        return;
    }
    g_x11.glx = true;
}

void TerminateGLX()
{
    if (!g_x11.glx) {
        return;
    }
    glXMakeCurrent(g_x11.display, None, nullptr);
    for (GLXContext &context : g_contexts) {
        if (context != nullptr) {
            glXDestroyContext(g_x11.display, context);
            context = nullptr;
        }
    }
    XFree(g_configs);
    g_configs = nullptr;
    g_configCount = 0;
    g_x11.glx = false;
}

int ChoosePixelFormat(const PIXELFORMATDESCRIPTOR *pfd)
{
    if (!g_x11.glx) {
        return 0;
    }
    if (pfd->iPixelType != PFD_TYPE_RGBA) {
        ReportError("cannot choose a pixel format", "only RGBA formats are offered");
        return 0;
    }
    int best = 0;
    Distance bestDistance = {};
    for (int i = 0; i < g_configCount; ++i) {
        Distance distance = {};
        if (Measure(g_configs[i], *pfd, &distance) && (best == 0 || distance < bestDistance)) {
            best = i + 1;
            bestDistance = distance;
        }
    }
    if (best == 0) {
        char detail[160];
        std::snprintf(detail, sizeof detail,
                      "none has %d colour bits, %d depth bits and %s buffering", pfd->cColorBits,
                      pfd->cDepthBits,
                      (pfd->dwFlags & PFD_DOUBLEBUFFER) != 0 ? "double" : "single");
        ReportError("no GLX framebuffer configuration fits", detail);
    }
    return best;
}

bool SetPixelFormat(platform::BackendId window, int format)
{
    WindowSlot *slot = FindSlot(window);
    const GLXFBConfig config = ConfigOf(format);
    if (slot == nullptr || config == nullptr) {
        return false;
    }
    XVisualInfo *visual = glXGetVisualFromFBConfig(g_x11.display, config);
    if (visual == nullptr) {
        ReportError("cannot set the pixel format", "its configuration has no X visual");
        return false;
    }
    const bool ok = SetWindowVisual(*slot, visual->visual, visual->depth);
    XFree(visual);
    if (ok) {
        slot->config = config;
    }
    return ok;
}

platform::BackendId CreateContext(platform::BackendId window, int format)
{
    const WindowSlot *slot = FindSlot(window);
    const GLXFBConfig config = ConfigOf(format);
    if (slot == nullptr || config == nullptr) {
        return 0;
    }
    int free = -1;
    for (int i = 0; i < kMaxContexts && free < 0; ++i) {
        if (g_contexts[i] == nullptr) {
            free = i;
        }
    }
    if (free < 0) {
        ReportError("cannot create the rendering context", "too many contexts");
        return 0;
    }
    // The fixed-function program needs a legacy context, so no
    // glXCreateContextAttribsARB and no profile.
    TrapErrors();
    const GLXContext context =
        glXCreateNewContext(g_x11.display, config, GLX_RGBA_TYPE, nullptr, True);
    const int error = UntrapErrors();
    if (context == nullptr || error != Success) {
        ReportXError("cannot create the rendering context", error);
        if (context != nullptr) {
            glXDestroyContext(g_x11.display, context);
        }
        return 0;
    }
    g_contexts[free] = context;
    return static_cast<platform::BackendId>(free) + 1;
}

bool MakeCurrent(platform::BackendId window, platform::BackendId context)
{
    if (!g_x11.glx) {
        return false;
    }
    if (context == 0) {
        return glXMakeCurrent(g_x11.display, None, nullptr) == True;
    }
    const WindowSlot *slot = FindSlot(window);
    if (slot == nullptr || slot->config == nullptr || slot->handle == None ||
        context > kMaxContexts || g_contexts[context - 1] == nullptr) {
        return false;
    }
    TrapErrors();
    const Bool made = glXMakeCurrent(g_x11.display, slot->handle, g_contexts[context - 1]);
    const int error = UntrapErrors();
    if (made == False || error != Success) {
        ReportXError("cannot make the rendering context current", error);
        return false;
    }
    return true;
}

void DeleteContext(platform::BackendId context)
{
    if (!g_x11.glx || context == 0 || context > kMaxContexts ||
        g_contexts[context - 1] == nullptr) {
        return;
    }
    glXDestroyContext(g_x11.display, g_contexts[context - 1]);
    g_contexts[context - 1] = nullptr;
}

bool SwapBuffers(platform::BackendId window)
{
    const WindowSlot *slot = FindSlot(window);
    if (slot == nullptr || slot->config == nullptr || slot->handle == None) {
        return false;
    }
    // After teardown the loop still presents until it sees WM_QUIT. With no
    // context current on the window there is nothing to show, and GLX would
    // answer the swap with BadMatch.
    if (glXGetCurrentDrawable() == slot->handle) {
        glXSwapBuffers(g_x11.display, slot->handle);
    }
    return true;
}

} // namespace x11
