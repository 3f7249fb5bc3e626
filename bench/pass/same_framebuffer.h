// The framebuffer the program's pixel format gets on a 24-bit screen, as GLX
// attributes: RGB 888, 16-bit depth, double-buffered. The floor asks for it,
// and the SDL pass picks its visual from it; the GLFW pass asks for the same
// sizes through its hints, and ours gets it from the pixel format, so that
// the peers are compared on the same pixels.
#ifndef TOWER_BENCH_SAME_FRAMEBUFFER_H
#define TOWER_BENCH_SAME_FRAMEBUFFER_H

#include <GL/glx.h>

// clang-format off
constexpr int kSameFramebuffer[] = {
    GLX_X_RENDERABLE, True,
    GLX_DRAWABLE_TYPE, GLX_WINDOW_BIT,
    GLX_RENDER_TYPE, GLX_RGBA_BIT,
    GLX_DOUBLEBUFFER, True,
    GLX_RED_SIZE, 8,
    GLX_GREEN_SIZE, 8,
    GLX_BLUE_SIZE, 8,
    GLX_DEPTH_SIZE, 16,
    None,
};
// clang-format on

#endif
