// ChoosePixelFormat over EGL: each configuration is read into a Config,
// those that lack what the descriptor asks for are dropped, and the closest
// of the rest is taken, by the same measure as over GLX. On Wayland EGL
// offers only the formats the compositor takes, RGB565 among them where it
// takes that.
#include "wayland_platform.h"

#include <algorithm>
#include <cstdio>

namespace wayland {

namespace {

// Win32's "either will do" flags, which our windows.h has no use for.
constexpr DWORD kDoubleBufferDontCare = 0x40000000;
constexpr DWORD kStereoDontCare = 0x80000000;

// What the choice looks at in one configuration. An EGL window surface is
// always double-buffered and never stereo, and EGL has neither accumulation
// nor auxiliary buffers.
struct Config {
    int red;
    int green;
    int blue;
    int alpha;
    int depth;
    int stencil;
    int samples; // sample buffers and samples per pixel together
    bool rgb;
    bool window;
    bool openGl;
    bool caveat; // slow or non-conformant
};

// How far a configuration is from the descriptor, most important first; a
// smaller row is a better match. Win32's colour bits leave alpha out.
enum Criterion {
    kColourExcess,
    kDepthExcess,
    kCaveat,
    kAlphaExcess,
    kStencilExcess,
    kSamples,
    kCriteria
};
using Distance = int[kCriteria];

int Attrib(EGLConfig config, EGLint attribute)
{
    EGLint value = 0;
    if (eglGetConfigAttrib(g_wayland.egl.display, config, attribute, &value) == EGL_FALSE) {
        EglReportError("EGL cannot describe one of its configurations");
        return 0;
    }
    return value;
}

Config Read(EGLConfig config)
{
    Config c = {};
    c.red = Attrib(config, EGL_RED_SIZE);
    c.green = Attrib(config, EGL_GREEN_SIZE);
    c.blue = Attrib(config, EGL_BLUE_SIZE);
    c.alpha = Attrib(config, EGL_ALPHA_SIZE);
    c.depth = Attrib(config, EGL_DEPTH_SIZE);
    c.stencil = Attrib(config, EGL_STENCIL_SIZE);
    c.samples = Attrib(config, EGL_SAMPLE_BUFFERS) + Attrib(config, EGL_SAMPLES);
    c.rgb = Attrib(config, EGL_COLOR_BUFFER_TYPE) == EGL_RGB_BUFFER;
    c.window = (Attrib(config, EGL_SURFACE_TYPE) & EGL_WINDOW_BIT) != 0;
    c.openGl = (Attrib(config, EGL_RENDERABLE_TYPE) & EGL_OPENGL_BIT) != 0;
    c.caveat = Attrib(config, EGL_CONFIG_CAVEAT) != EGL_NONE;
    return c;
}

void Measure(const Config &c, const PIXELFORMATDESCRIPTOR &pfd, Distance &d)
{
    d[kColourExcess] = c.red + c.green + c.blue - pfd.cColorBits;
    d[kDepthExcess] = c.depth - pfd.cDepthBits;
    d[kCaveat] = c.caveat ? 1 : 0;
    d[kAlphaExcess] = c.alpha - pfd.cAlphaBits;
    d[kStencilExcess] = c.stencil - pfd.cStencilBits;
    d[kSamples] = c.samples;
}

// Whether a configuration has at least what the descriptor asks for.
bool Fits(const Config &c, const PIXELFORMATDESCRIPTOR &pfd, const Distance &d)
{
    if (!c.rgb || !c.window || !c.openGl) {
        return false;
    }
    if ((pfd.dwFlags & kDoubleBufferDontCare) == 0 && (pfd.dwFlags & PFD_DOUBLEBUFFER) == 0) {
        return false;
    }
    if ((pfd.dwFlags & kStereoDontCare) == 0 && (pfd.dwFlags & PFD_STEREO) != 0) {
        return false;
    }
    return c.red >= pfd.cRedBits && c.green >= pfd.cGreenBits && c.blue >= pfd.cBlueBits &&
           pfd.cAccumBits == 0 && pfd.cAuxBuffers == 0 && d[kColourExcess] >= 0 &&
           d[kDepthExcess] >= 0 && d[kAlphaExcess] >= 0 && d[kStencilExcess] >= 0;
}

// Closer on the first criterion that differs; on a full tie the lower
// pixel-format number, which the caller meets first, stays.
bool Better(const Distance &d, const Distance &best)
{
    for (int i = 0; i < kCriteria; ++i) {
        if (d[i] != best[i]) {
            return d[i] < best[i];
        }
    }
    return false;
}

} // namespace

int EglChoosePixelFormat(const PIXELFORMATDESCRIPTOR *pfd)
{
    const Egl &egl = g_wayland.egl;
    if (!egl.usable) {
        return 0;
    }
    if (pfd->iPixelType != PFD_TYPE_RGBA) {
        WaylandReportError("cannot choose a pixel format", "only RGBA formats are offered");
        return 0;
    }
    int best = 0;
    Distance bestDistance = {};
    for (int i = 0; i < egl.configCount; ++i) {
        const Config config = Read(egl.configs[i]);
        Distance distance = {};
        Measure(config, *pfd, distance);
        if (Fits(config, *pfd, distance) && (best == 0 || Better(distance, bestDistance))) {
            best = i + 1;
            std::copy(distance, distance + kCriteria, bestDistance);
        }
    }
    if (best == 0) {
        char detail[160];
        std::snprintf(detail, sizeof detail,
                      "none has %d colour bits, %d depth bits and %s buffering", pfd->cColorBits,
                      pfd->cDepthBits,
                      (pfd->dwFlags & PFD_DOUBLEBUFFER) != 0 ? "double" : "single");
        WaylandReportError("no EGL configuration fits", detail);
    }
    return best;
}

} // namespace wayland
