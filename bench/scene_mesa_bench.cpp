// A whole frame on Mesa, offscreen: DrawScene plus the rasterisation it asks
// for, finished with glFinish so the time covers the work and not only the
// queueing of it.
#include "offscreen_context.h"
#include "renderer.h"

#include <GL/gl.h>
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

namespace {

void DrawSceneOnMesa(benchmark::State &state)
{
    const int width = static_cast<int>(state.range(0));
    const int height = static_cast<int>(state.range(1));
    std::string description, why;
    if (!offscreen::Open(width, height, &description, &why)) {
        state.SkipWithError(("no offscreen OpenGL context: " + why).c_str());
        return;
    }
    static bool told = false;
    if (!told) {
        std::fprintf(stderr, "offscreen: %s\n", description.c_str());
        told = true;
    }
    ResizeViewport(width, height);
    InitRenderState();
    g_phase = 0.0f;
    for (auto _ : state) {
        DrawScene();
        glFinish();
    }
    offscreen::Close();
}

} // namespace

// Wall-clock time: the rasteriser's own threads do much of the work, which the
// calling thread's CPU time would miss.
BENCHMARK(DrawSceneOnMesa)
    ->Args({640, 480})
    ->Args({1920, 1080})
    ->Unit(benchmark::kMicrosecond)
    ->UseRealTime();
