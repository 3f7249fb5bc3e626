// ChoosePixelFormat over GLX: each framebuffer configuration that might do is
// read once into a Config, those that lack what the descriptor asks for are
// dropped, and the closest of the rest is taken.
//
// Reading one attribute makes GLX search its whole list for the
// configuration (hundreds of them on Mesa's llvmpipe), so a Config is read in
// two parts: its lead, the colour and depth on which most candidates already
// lose to the best so far, then the rest only for one that can still win.
#include "x11_platform.h"

#include <algorithm>
#include <cstdio>

namespace x11 {

namespace {

// Win32's "either will do" flags, which our windows.h has no use for.
constexpr DWORD kDoubleBufferDontCare = 0x40000000;
constexpr DWORD kStereoDontCare = 0x80000000;

// What the choice looks at in one configuration.
struct Config {
    int format; // its pixel-format number: 1 + its index in the full list
    // The lead: what the two most important criteria need.
    int red;
    int green;
    int blue;
    int depth;
    // The rest.
    bool rgba;
    bool window;
    bool hasVisual;
    bool mainPlane;
    bool doubleBuffered;
    bool stereo;
    bool trueColour; // a DirectColor visual shows colours through its colormap's ramp
    bool caveat;     // slow or non-conformant
    int alpha;
    int stencil;
    int accum;
    int samples; // sample buffers and samples per pixel together
    int aux;
};

// How far a configuration is from the descriptor, most important first; a
// smaller row is a better match. Win32's colour bits leave alpha out.
enum Criterion {
    kColourExcess,
    kDepthExcess,
    kNotTrueColour,
    kCaveat,
    kAlphaExcess,
    kStencilExcess,
    kAccumExcess,
    kSamples,
    kAuxExcess,
    kCriteria
};
constexpr int kLeadCriteria = kDepthExcess + 1;
using Distance = int[kCriteria];

int Attrib(GLXFBConfig config, int attribute)
{
    int value = 0;
    if (glXGetFBConfigAttrib(g_x11.display, config, attribute, &value) != Success) {
        X11ReportError("GLX cannot describe one of its framebuffer configurations");
        return 0;
    }
    return value;
}

Config ReadLead(GLXFBConfig config, int format)
{
    Config c = {};
    c.format = format;
    c.red = Attrib(config, GLX_RED_SIZE);
    c.green = Attrib(config, GLX_GREEN_SIZE);
    c.blue = Attrib(config, GLX_BLUE_SIZE);
    c.depth = Attrib(config, GLX_DEPTH_SIZE);
    return c;
}

void ReadRest(GLXFBConfig config, Config &c)
{
    c.rgba = (Attrib(config, GLX_RENDER_TYPE) & GLX_RGBA_BIT) != 0;
    c.window = (Attrib(config, GLX_DRAWABLE_TYPE) & GLX_WINDOW_BIT) != 0;
    c.hasVisual = Attrib(config, GLX_VISUAL_ID) != 0;
    c.mainPlane = Attrib(config, GLX_LEVEL) == 0;
    c.doubleBuffered = Attrib(config, GLX_DOUBLEBUFFER) != 0;
    c.stereo = Attrib(config, GLX_STEREO) != 0;
    c.trueColour = Attrib(config, GLX_X_VISUAL_TYPE) == GLX_TRUE_COLOR;
    c.caveat = Attrib(config, GLX_CONFIG_CAVEAT) != GLX_NONE;
    c.alpha = Attrib(config, GLX_ALPHA_SIZE);
    c.stencil = Attrib(config, GLX_STENCIL_SIZE);
    c.accum = Attrib(config, GLX_ACCUM_RED_SIZE) + Attrib(config, GLX_ACCUM_GREEN_SIZE) +
              Attrib(config, GLX_ACCUM_BLUE_SIZE) + Attrib(config, GLX_ACCUM_ALPHA_SIZE);
    c.samples = Attrib(config, GLX_SAMPLE_BUFFERS) + Attrib(config, GLX_SAMPLES);
    c.aux = Attrib(config, GLX_AUX_BUFFERS);
}

void Measure(const Config &c, const PIXELFORMATDESCRIPTOR &pfd, Distance &d)
{
    d[kColourExcess] = c.red + c.green + c.blue - pfd.cColorBits;
    d[kDepthExcess] = c.depth - pfd.cDepthBits;
    d[kNotTrueColour] = c.trueColour ? 0 : 1;
    d[kCaveat] = c.caveat ? 1 : 0;
    d[kAlphaExcess] = c.alpha - pfd.cAlphaBits;
    d[kStencilExcess] = c.stencil - pfd.cStencilBits;
    d[kAccumExcess] = c.accum - pfd.cAccumBits;
    d[kSamples] = c.samples;
    d[kAuxExcess] = c.aux - pfd.cAuxBuffers;
}

// Whether a configuration has at least what the descriptor asks for. Only
// window-capable RGBA configurations with an X visual count.
bool Fits(const Config &c, const PIXELFORMATDESCRIPTOR &pfd, const Distance &d)
{
    if (!c.rgba || !c.window || !c.hasVisual || !c.mainPlane) {
        return false;
    }
    if ((pfd.dwFlags & kDoubleBufferDontCare) == 0 &&
        c.doubleBuffered != ((pfd.dwFlags & PFD_DOUBLEBUFFER) != 0)) {
        return false;
    }
    if ((pfd.dwFlags & kStereoDontCare) == 0 && c.stereo != ((pfd.dwFlags & PFD_STEREO) != 0)) {
        return false;
    }
    return c.red >= pfd.cRedBits && c.green >= pfd.cGreenBits && c.blue >= pfd.cBlueBits &&
           d[kColourExcess] >= 0 && d[kDepthExcess] >= 0 && d[kAlphaExcess] >= 0 &&
           d[kStencilExcess] >= 0 && d[kAccumExcess] >= 0 && d[kAuxExcess] >= 0;
}

// Closer on the first of the first `criteria` that differs, or tied on all.
int Compare(const Distance &d, const Distance &best, int criteria)
{
    for (int i = 0; i < criteria; ++i) {
        if (d[i] != best[i]) {
            return d[i] < best[i] ? -1 : 1;
        }
    }
    return 0;
}

// Closer on the first criterion that differs; on a full tie the lower
// pixel-format number wins, whatever order GLX listed them in.
bool Better(const Distance &d, int format, const Distance &best, int bestFormat)
{
    const int order = Compare(d, best, kCriteria);
    return order < 0 || (order == 0 && format < bestFormat);
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

// The pixel-format number of a configuration, or 0 for one not in the list.
int FormatOf(GLXFBConfig config)
{
    for (int i = 0; i < g_x11.glx.configCount; ++i) {
        if (g_x11.glx.configs[i] == config) {
            return i + 1;
        }
    }
    return 0;
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

    int best = 0;
    Distance bestDistance = {};
    // GLX lists more colour and depth bits first, the opposite of what wins
    // here: read from the end, the winner comes early and most of the rest
    // lose on their lead alone. The order decides nothing else.
    for (int i = candidateCount - 1; i >= 0; --i) {
        const int format = FormatOf(list[i]);
        if (format == 0) {
            continue;
        }
        Config config = ReadLead(list[i], format);
        Distance distance = {};
        Measure(config, *pfd, distance); // only the lead's criteria mean anything yet
        // A configuration short of colour or depth cannot fit.
        if (distance[kColourExcess] < 0 || distance[kDepthExcess] < 0 ||
            (best != 0 && Compare(distance, bestDistance, kLeadCriteria) > 0)) {
            continue;
        }
        ReadRest(list[i], config);
        Measure(config, *pfd, distance);
        if (Fits(config, *pfd, distance) &&
            (best == 0 || Better(distance, format, bestDistance, best))) {
            best = format;
            std::copy(distance, distance + kCriteria, bestDistance);
        }
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
