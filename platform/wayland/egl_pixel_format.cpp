// ChoosePixelFormat over EGL: each configuration is read into a Config,
// those that lack what the descriptor asks for are dropped, and the closest
// of the rest is taken, by the measure the Linux backends share
// (core/pixel_format_match.h). On Wayland EGL offers only the formats the
// compositor takes, RGB565 among them where it takes that.
#include "wayland_platform.h"

#include "../core/pixel_format_match.h"

#include <algorithm>

namespace wayland {

namespace {

using platform::FormatDistance;
using platform::FormatTraits;

// What the choice looks at in one configuration: what only EGL has, and the
// traits the shared measure reads.
struct Config {
    bool rgb;
    bool window;
    bool openGl;
    FormatTraits traits;
};

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
    c.rgb = Attrib(config, EGL_COLOR_BUFFER_TYPE) == EGL_RGB_BUFFER;
    c.window = (Attrib(config, EGL_SURFACE_TYPE) & EGL_WINDOW_BIT) != 0;
    c.openGl = (Attrib(config, EGL_RENDERABLE_TYPE) & EGL_OPENGL_BIT) != 0;
    FormatTraits &t = c.traits;
    t.red = Attrib(config, EGL_RED_SIZE);
    t.green = Attrib(config, EGL_GREEN_SIZE);
    t.blue = Attrib(config, EGL_BLUE_SIZE);
    t.depth = Attrib(config, EGL_DEPTH_SIZE);
    t.alpha = Attrib(config, EGL_ALPHA_SIZE);
    t.stencil = Attrib(config, EGL_STENCIL_SIZE);
    t.samples = Attrib(config, EGL_SAMPLE_BUFFERS) + Attrib(config, EGL_SAMPLES);
    t.caveat = Attrib(config, EGL_CONFIG_CAVEAT) != EGL_NONE;
    // An EGL window surface is always double-buffered, never stereo, and
    // shows colours as they are; EGL has neither accumulation nor auxiliary
    // buffers.
    t.doubleBuffered = true;
    t.trueColour = true;
    return c;
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
    FormatDistance bestDistance = {};
    for (int i = 0; i < egl.configCount; ++i) {
        const Config config = Read(egl.configs[i]);
        FormatDistance distance = {};
        platform::MeasureFormat(config.traits, *pfd, distance);
        if (config.rgb && config.window && config.openGl &&
            platform::FormatFits(config.traits, *pfd, distance) &&
            (best == 0 || platform::BetterFormat(distance, i + 1, bestDistance, best))) {
            best = i + 1;
            std::copy(distance, distance + platform::kFormatCriteria, bestDistance);
        }
    }
    if (best == 0) {
        platform::ReportNoFormatFits("EGL configuration", *pfd);
    }
    return best;
}

} // namespace wayland
