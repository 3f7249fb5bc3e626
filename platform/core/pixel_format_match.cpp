// ChoosePixelFormat's measure, shared by the GLX and EGL choices.
#include "pixel_format_match.h"

#include "backend.h"

#include <cstdio>

namespace platform {

void MeasureFormat(const FormatTraits &t, const PIXELFORMATDESCRIPTOR &pfd, FormatDistance &d)
{
    d[kColourExcess] = t.red + t.green + t.blue - pfd.cColorBits;
    d[kDepthExcess] = t.depth - pfd.cDepthBits;
    d[kNotTrueColour] = t.trueColour ? 0 : 1;
    d[kCaveat] = t.caveat ? 1 : 0;
    d[kAlphaExcess] = t.alpha - pfd.cAlphaBits;
    d[kStencilExcess] = t.stencil - pfd.cStencilBits;
    d[kAccumExcess] = t.accum - pfd.cAccumBits;
    d[kSamples] = t.samples;
    d[kAuxExcess] = t.aux - pfd.cAuxBuffers;
}

bool FormatFits(const FormatTraits &t, const PIXELFORMATDESCRIPTOR &pfd, const FormatDistance &d)
{
    if ((pfd.dwFlags & kPfdDoubleBufferDontCare) == 0 &&
        t.doubleBuffered != ((pfd.dwFlags & PFD_DOUBLEBUFFER) != 0)) {
        return false;
    }
    if ((pfd.dwFlags & kPfdStereoDontCare) == 0 && t.stereo != ((pfd.dwFlags & PFD_STEREO) != 0)) {
        return false;
    }
    return t.red >= pfd.cRedBits && t.green >= pfd.cGreenBits && t.blue >= pfd.cBlueBits &&
           d[kColourExcess] >= 0 && d[kDepthExcess] >= 0 && d[kAlphaExcess] >= 0 &&
           d[kStencilExcess] >= 0 && d[kAccumExcess] >= 0 && d[kAuxExcess] >= 0;
}

int CompareFormats(const FormatDistance &d, const FormatDistance &best, int criteria)
{
    for (int i = 0; i < criteria; ++i) {
        if (d[i] != best[i]) {
            return d[i] < best[i] ? -1 : 1;
        }
    }
    return 0;
}

bool BetterFormat(const FormatDistance &d, int format, const FormatDistance &best, int bestFormat)
{
    const int order = CompareFormats(d, best, kFormatCriteria);
    return order < 0 || (order == 0 && format < bestFormat);
}

void ReportNoFormatFits(const char *what, const PIXELFORMATDESCRIPTOR &pfd)
{
    char line[160];
    std::snprintf(line, sizeof line, "no %s fits", what);
    char detail[160];
    std::snprintf(detail, sizeof detail, "none has %d colour bits, %d depth bits and %s buffering",
                  pfd.cColorBits, pfd.cDepthBits,
                  (pfd.dwFlags & PFD_DOUBLEBUFFER) != 0 ? "double" : "single");
    ReportError(line, detail);
}

} // namespace platform
