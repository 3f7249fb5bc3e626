// An OpenGL compatibility context that renders offscreen with no window
// system: EGL on Mesa's surfaceless platform, or OSMesa where the build chose
// it. Used by the pixel tests and by the Mesa benchmark.
#ifndef TOWER_TESTS_PIXEL_OFFSCREEN_CONTEXT_H
#define TOWER_TESTS_PIXEL_OFFSCREEN_CONTEXT_H

#include <string>

namespace offscreen {

// Create a context with a width x height colour buffer (16-bit RGB 565 with
// 16 depth bits where the platform offers one) and make it current. On
// success, *description says which buffer and renderer were chosen; on
// failure, *why says what was missing and nothing is left open.
bool Open(int width, int height, std::string *description, std::string *why);

// Release the context opened by Open; harmless when none is open.
void Close();

// The colour and depth bits of the current context's buffer and the renderer
// behind it, as the GL itself reports them.
std::string DescribeCurrentBuffers();

} // namespace offscreen

#endif
