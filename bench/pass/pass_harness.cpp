// The timed loop shared by the three peers.
#include "pass_harness.h"

#include "renderer.h"

#include <GL/gl.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <vector>

namespace {

long long NowNs()
{
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<long long>(t.tv_sec) * 1000000000LL + t.tv_nsec;
}

const char *Option(int argc, char **argv, const char *name)
{
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], name) == 0) {
            return argv[i + 1];
        }
    }
    return nullptr;
}

int IntOption(int argc, char **argv, const char *name, int fallback)
{
    const char *value = Option(argc, argv, name);
    return value != nullptr ? std::atoi(value) : fallback;
}

double MedianUs(std::vector<long long> &ns)
{
    std::nth_element(ns.begin(), ns.begin() + static_cast<long>(ns.size() / 2), ns.end());
    return static_cast<double>(ns[ns.size() / 2]) / 1000.0;
}

// The framebuffer the peer really got: the comparison is fair only if all
// three got the same one.
void PrintConfig(const PassCalls &calls, PassSize size)
{
    GLint red = 0, green = 0, blue = 0, alpha = 0, depth = 0, stencil = 0;
    glGetIntegerv(GL_RED_BITS, &red);
    glGetIntegerv(GL_GREEN_BITS, &green);
    glGetIntegerv(GL_BLUE_BITS, &blue);
    glGetIntegerv(GL_ALPHA_BITS, &alpha);
    glGetIntegerv(GL_DEPTH_BITS, &depth);
    glGetIntegerv(GL_STENCIL_BITS, &stencil);
    const auto *renderer = reinterpret_cast<const char *>(glGetString(GL_RENDERER));
    std::printf("config %s %dx%d rgba=%d%d%d%d depth=%d stencil=%d renderer=%s\n", calls.name,
                size.width, size.height, red, green, blue, alpha, depth, stencil,
                renderer != nullptr ? renderer : "none");
}

// One pass; the four times it took, in ns.
struct PassTimes {
    long long input, draw, swap, total;
};

PassTimes Pass(const PassCalls &calls)
{
    const long long t0 = NowNs();
    calls.events();
    const long long t1 = NowNs();
    DrawScene();
    const long long t2 = NowNs();
    calls.swap();
    const long long t3 = NowNs();
    const bool escape = calls.escape();
    const long long t4 = NowNs();
    if (escape) {
        std::fprintf(stderr, "%s: Escape is down\n", calls.name);
    }
    return {(t1 - t0) + (t4 - t3), t2 - t1, t3 - t2, t4 - t0};
}

// A counted pass makes its input calls through these two, so that callgrind can collect inside
// them alone (--toggle-collect='*CountedInput*'): not inlined, and no tail calls.
__attribute__((noinline)) void CountedInputEvents(void (*events)())
{
    events();
    asm volatile("" ::: "memory");
}

__attribute__((noinline)) bool CountedInputEscape(bool (*escape)())
{
    const bool down = escape();
    asm volatile("" ::: "memory");
    return down;
}

} // namespace

PassSize ParsePassSize(int argc, char **argv)
{
    PassSize size{1024, 768};
    const char *value = Option(argc, argv, "--size");
    if (value != nullptr && std::sscanf(value, "%dx%d", &size.width, &size.height) != 2) {
        std::fprintf(stderr, "--size wants WIDTHxHEIGHT\n");
        std::exit(2);
    }
    return size;
}

int RunPasses(int argc, char **argv, const PassCalls &calls, PassSize size)
{
    ResizeViewport(size.width, size.height);
    InitRenderState();
    g_phase = 0.0f;

    const int count = IntOption(argc, argv, "--count", 0);
    if (count > 0) {
        // The window's first events and the first calls' symbol binding come
        // and go in the warm-up, where nothing is counted.
        for (int i = 0; i < 100; ++i) {
            Pass(calls);
        }
        for (int i = 0; i < count; ++i) {
            CountedInputEvents(calls.events);
            DrawScene();
            calls.swap();
            CountedInputEscape(calls.escape);
        }
        return 0;
    }

    PrintConfig(calls, size);
    const int passes = std::max(1, IntOption(argc, argv, "--passes", 1000));
    const int reps = std::max(1, IntOption(argc, argv, "--reps", 5));
    std::vector<long long> input(passes), draw(passes), swap(passes), calls3(passes), total(passes);
    for (int rep = 1; rep <= reps; ++rep) {
        for (int i = 0; i < 100; ++i) {
            Pass(calls);
        }
        for (int i = 0; i < passes; ++i) {
            const PassTimes t = Pass(calls);
            input[i] = t.input;
            draw[i] = t.draw;
            swap[i] = t.swap;
            calls3[i] = t.total - t.draw;
            total[i] = t.total;
        }
        // Medians of the rep: one slow pass (a context switch on a busy
        // machine) does not move them.
        std::printf("rep %s %d total_us=%.3f calls_us=%.3f input_us=%.3f swap_us=%.3f "
                    "draw_us=%.3f\n",
                    calls.name, rep, MedianUs(total), MedianUs(calls3), MedianUs(input),
                    MedianUs(swap), MedianUs(draw));
        std::fflush(stdout);
    }
    return 0;
}
