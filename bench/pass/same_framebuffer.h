// The framebuffer every loop benchmark draws into, so that the peers are
// compared on the same pixels: RGB 888, 16-bit depth, double-buffered.
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
