// ChoosePixelFormat's measure of how close a window system's framebuffer
// configuration comes to a PIXELFORMATDESCRIPTOR, for the backends that pick
// from such a list (x11/ from GLX's, wayland/ from EGL's). Each backend reads
// its configurations into FormatTraits, drops those its window system cannot
// use, and takes the closest of the rest that fits.
#ifndef TOWER_PLATFORM_PIXEL_FORMAT_MATCH_H
#define TOWER_PLATFORM_PIXEL_FORMAT_MATCH_H

#include <windows.h>

namespace platform {

// Win32's "either will do" flags, which our windows.h has no use for.
constexpr DWORD kPfdDoubleBufferDontCare = 0x40000000;
constexpr DWORD kPfdStereoDontCare = 0x80000000;

// What the measure looks at in one configuration.
struct FormatTraits {
    int red;
    int green;
    int blue;
    int depth;
    int alpha;
    int stencil;
    int accum;   // all four channels together
    int samples; // sample buffers and samples per pixel together
    int aux;
    bool doubleBuffered;
    bool stereo;
    bool trueColour; // a DirectColor visual shows colours through its colormap's ramp
    bool caveat;     // slow or non-conformant
};

// How far a configuration is from the descriptor, most important first; a
// smaller row is a better match. Win32's colour bits leave alpha out.
enum FormatCriterion {
    kColourExcess,
    kDepthExcess,
    kNotTrueColour,
    kCaveat,
    kAlphaExcess,
    kStencilExcess,
    kAccumExcess,
    kSamples,
    kAuxExcess,
    kFormatCriteria
};
// The criteria that colour and depth alone decide, on which most
// configurations already lose.
constexpr int kFormatLeadCriteria = kDepthExcess + 1;
using FormatDistance = int[kFormatCriteria];

void MeasureFormat(const FormatTraits &t, const PIXELFORMATDESCRIPTOR &pfd, FormatDistance &d);

// Whether a configuration has at least what the descriptor asks for.
bool FormatFits(const FormatTraits &t, const PIXELFORMATDESCRIPTOR &pfd, const FormatDistance &d);

// Closer (-1) or further (1) on the first of the first `criteria` that
// differs, or tied on all (0).
int CompareFormats(const FormatDistance &d, const FormatDistance &best, int criteria);

// Closer on the first criterion that differs; on a full tie the lower
// pixel-format number wins, whatever order the window system listed them in.
bool BetterFormat(const FormatDistance &d, int format, const FormatDistance &best, int bestFormat);

// Say that none of the window system's configurations (`what`) fits.
void ReportNoFormatFits(const char *what, const PIXELFORMATDESCRIPTOR &pfd);

} // namespace platform

#endif
