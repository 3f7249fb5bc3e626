// DrawScene N times over empty GL functions, for counting instructions from
// outside: the difference between runs of N and 2N frames is N frames'
// worth, with the start-up cancelled out.
#include "renderer.h"

#include <cstdio>
#include <cstdlib>

int main(int argc, char **argv)
{
    const long frames = argc > 1 ? std::atol(argv[1]) : 0;
    if (frames <= 0) {
        std::fprintf(stderr, "usage: %s FRAMES\n", argv[0]);
        return 2;
    }
    ResizeViewport(640, 480);
    InitRenderState();
    for (long i = 0; i < frames; ++i) {
        DrawScene();
    }
    // The phase depends on every frame, so no frame can be left out.
    std::printf("phase %.6f\n", static_cast<double>(g_phase));
    return 0;
}
