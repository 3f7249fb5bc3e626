// ChoosePixelFormat over GLX's framebuffer configurations.
#include "x11_platform.h"

#include <algorithm>
#include <cstdio>

namespace x11 {

namespace {

// Win32's "either will do" flags, which our windows.h has no use for.
constexpr DWORD kDoubleBufferDontCare = 0x40000000;
constexpr DWORD kStereoDontCare = 0x80000000;

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
    for (int i = 0; i < g_x11.glx.configCount; ++i) {
        if (g_x11.glx.configs[i] == config) {
            return i;
        }
    }
    return -1;
}

} // namespace

int GlxChoosePixelFormat(const PIXELFORMATDESCRIPTOR *pfd)
{
    if (!g_x11.glx.usable) {
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
        candidateCount = g_x11.glx.configCount;
    }
    const GLXFBConfig *list = candidates != nullptr ? candidates : g_x11.glx.configs;

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

} // namespace x11
