// ChoosePixelFormat over GLX: each framebuffer configuration that might do is
// read once into a Config, those that lack what the descriptor asks for are
// dropped, and the closest of the rest is taken, by the measure the Linux
// backends share (core/pixel_format_match.h).
//
// Reading one attribute makes GLX search its whole list for the
// configuration (hundreds of them on Mesa's llvmpipe), so a Config is read in
// two parts: its lead, the colour and depth on which most candidates already
// lose to the best so far, then the rest only for one that can still win.
#include "x11_platform.h"

#include "../core/pixel_format_match.h"

#include <algorithm>

namespace x11 {

namespace {

using platform::FormatDistance;
using platform::FormatTraits;

// What the choice looks at in one configuration: what only GLX has, and the
// traits the shared measure reads.
struct Config {
    int format; // its pixel-format number: 1 + its index in the full list
    bool rgba;
    bool window;
    bool hasVisual;
    bool mainPlane;
    FormatTraits traits;
};

int Attrib(GLXFBConfig config, int attribute)
{
    int value = 0;
    if (glXGetFBConfigAttrib(g_x11.display, config, attribute, &value) != Success) {
        X11ReportError("GLX cannot describe one of its framebuffer configurations");
        return 0;
    }
    return value;
}

// The lead: what the two most important criteria need.
Config ReadLead(GLXFBConfig config, int format)
{
    Config c = {};
    c.format = format;
    c.traits.red = Attrib(config, GLX_RED_SIZE);
    c.traits.green = Attrib(config, GLX_GREEN_SIZE);
    c.traits.blue = Attrib(config, GLX_BLUE_SIZE);
    c.traits.depth = Attrib(config, GLX_DEPTH_SIZE);
    return c;
}

void ReadRest(GLXFBConfig config, Config &c)
{
    c.rgba = (Attrib(config, GLX_RENDER_TYPE) & GLX_RGBA_BIT) != 0;
    c.window = (Attrib(config, GLX_DRAWABLE_TYPE) & GLX_WINDOW_BIT) != 0;
    c.hasVisual = Attrib(config, GLX_VISUAL_ID) != 0;
    c.mainPlane = Attrib(config, GLX_LEVEL) == 0;
    FormatTraits &t = c.traits;
    t.doubleBuffered = Attrib(config, GLX_DOUBLEBUFFER) != 0;
    t.stereo = Attrib(config, GLX_STEREO) != 0;
    t.trueColour = Attrib(config, GLX_X_VISUAL_TYPE) == GLX_TRUE_COLOR;
    t.caveat = Attrib(config, GLX_CONFIG_CAVEAT) != GLX_NONE;
    t.alpha = Attrib(config, GLX_ALPHA_SIZE);
    t.stencil = Attrib(config, GLX_STENCIL_SIZE);
    t.accum = Attrib(config, GLX_ACCUM_RED_SIZE) + Attrib(config, GLX_ACCUM_GREEN_SIZE) +
              Attrib(config, GLX_ACCUM_BLUE_SIZE) + Attrib(config, GLX_ACCUM_ALPHA_SIZE);
    t.samples = Attrib(config, GLX_SAMPLE_BUFFERS) + Attrib(config, GLX_SAMPLES);
    t.aux = Attrib(config, GLX_AUX_BUFFERS);
}

// Whether a configuration has at least what the descriptor asks for. Only
// window-capable RGBA configurations with an X visual count.
bool Fits(const Config &c, const PIXELFORMATDESCRIPTOR &pfd, const FormatDistance &d)
{
    return c.rgba && c.window && c.hasVisual && c.mainPlane &&
           platform::FormatFits(c.traits, pfd, d);
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
    if ((pfd.dwFlags & platform::kPfdDoubleBufferDontCare) == 0) {
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
    FormatDistance bestDistance = {};
    // GLX lists more colour and depth bits first, the opposite of what wins
    // here: read from the end, the winner comes early and most of the rest
    // lose on their lead alone. The order decides nothing else.
    for (int i = candidateCount - 1; i >= 0; --i) {
        const int format = FormatOf(list[i]);
        if (format == 0) {
            continue;
        }
        Config config = ReadLead(list[i], format);
        FormatDistance distance = {};
        // Only the lead's criteria mean anything yet.
        platform::MeasureFormat(config.traits, *pfd, distance);
        // A configuration short of colour or depth cannot fit.
        if (distance[platform::kColourExcess] < 0 || distance[platform::kDepthExcess] < 0 ||
            (best != 0 &&
             platform::CompareFormats(distance, bestDistance, platform::kFormatLeadCriteria) > 0)) {
            continue;
        }
        ReadRest(list[i], config);
        platform::MeasureFormat(config.traits, *pfd, distance);
        if (Fits(config, *pfd, distance) &&
            (best == 0 || platform::BetterFormat(distance, format, bestDistance, best))) {
            best = format;
            std::copy(distance, distance + platform::kFormatCriteria, bestDistance);
        }
    }
    if (candidates != nullptr) {
        XFree(candidates);
    }
    if (best == 0) {
        platform::ReportNoFormatFits("GLX framebuffer configuration", *pfd);
    }
    return best;
}

} // namespace x11
