// The offscreen context on OSMesa, for systems without EGL: the colour buffer
// is plain memory that this file owns.
#include "offscreen_context.h"

#include <GL/osmesa.h>

#include <cstdint>
#include <sstream>
#include <vector>

namespace offscreen {
namespace {

OSMesaContext g_context = nullptr;
std::vector<std::uint32_t> g_pixels;

} // namespace

bool Open(int width, int height, std::string *description, std::string *why, Colour colour)
{
    Close();
    // RGB 565 when asked for; an OSMesa without it still renders the scene
    // in RGBA.
    bool is565 = false;
    if (colour == Colour::kRgb565) {
        g_context = OSMesaCreateContextExt(OSMESA_RGB_565, 16, 0, 0, nullptr);
        is565 = g_context != nullptr;
    }
    if (g_context == nullptr) {
        g_context = OSMesaCreateContextExt(OSMESA_RGBA, 16, 0, 0, nullptr);
    }
    if (g_context == nullptr) {
        *why = "OSMesaCreateContextExt failed for both RGB 565 and RGBA";
        return false;
    }
    // Four bytes a pixel covers either format.
    g_pixels.assign(static_cast<size_t>(width) * static_cast<size_t>(height), 0);
    const GLenum type = is565 ? GL_UNSIGNED_SHORT_5_6_5 : GL_UNSIGNED_BYTE;
    if (!OSMesaMakeCurrent(g_context, g_pixels.data(), type, width, height)) {
        *why = "OSMesaMakeCurrent failed";
        Close();
        return false;
    }
    std::ostringstream text;
    text << "OSMesa " << width << "x" << height
         << (is565                       ? " (RGB 565, depth 16)"
             : colour == Colour::kRgb565 ? " (no RGB 565; RGBA 8888, depth 16)"
                                         : " (RGBA 8888, depth 16)")
         << ": " << DescribeCurrentBuffers();
    *description = text.str();
    return true;
}

void Close()
{
    if (g_context != nullptr) {
        OSMesaDestroyContext(g_context);
        g_context = nullptr;
    }
    g_pixels.clear();
}

} // namespace offscreen
