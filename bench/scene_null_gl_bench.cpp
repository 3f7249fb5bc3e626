// The cost of DrawScene itself, with every GL call landing in an empty
// function: the 21 sines, the float loop and the call overhead.
#include "renderer.h"

#include <benchmark/benchmark.h>

namespace {

void DrawSceneOnNullGl(benchmark::State &state)
{
    ResizeViewport(640, 480);
    InitRenderState();
    // Start each run from the first frame, so repetitions see the same
    // stretch of the animation.
    g_phase = 0.0f;
    for (auto _ : state) {
        DrawScene();
    }
    benchmark::DoNotOptimize(g_phase);
    // 22 triangles a frame.
    state.SetItemsProcessed(state.iterations() * 22);
}

} // namespace

BENCHMARK(DrawSceneOnNullGl);
