// An OpenGL compatibility context that renders offscreen with no window
// system: EGL on Mesa's surfaceless platform, or OSMesa where the build chose
// it. Used by the pixel tests, the Mesa benchmark and the icon renderer.
#ifndef TOWER_TESTS_PIXEL_OFFSCREEN_CONTEXT_H
#define TOWER_TESTS_PIXEL_OFFSCREEN_CONTEXT_H

#include <string>

namespace offscreen {

// The colour buffer to render into: the 16-bit one the program runs on, or
// 8 bits a channel with alpha, for pictures whose background must stay clear.
enum class Colour { kRgb565, kRgba8888 };

// Create a context with a width x height colour buffer (the colour asked
// for, with 16 depth bits, where the platform offers one) and make it
// current. On success, *description says which buffer and renderer were
// chosen; on failure, *why says what was missing and nothing is left open.
bool Open(int width, int height, std::string *description, std::string *why,
          Colour colour = Colour::kRgb565);

// Release the context opened by Open; harmless when none is open.
void Close();

// The colour and depth bits of the current context's buffer and the renderer
// behind it, as the GL itself reports them.
std::string DescribeCurrentBuffers();

} // namespace offscreen

#endif
