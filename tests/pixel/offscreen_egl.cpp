// The offscreen context on EGL's surfaceless platform: a pbuffer on a legacy
// desktop GL context, so glBegin works and no X server is needed.
#include "offscreen_context.h"

#include <EGL/egl.h>
#include <EGL/eglext.h>

#include <cstring>
#include <sstream>
#include <vector>

namespace offscreen {
namespace {

EGLDisplay g_display = EGL_NO_DISPLAY;
EGLSurface g_surface = EGL_NO_SURFACE;
EGLContext g_context = EGL_NO_CONTEXT;

std::string EglError(const char *what)
{
    std::ostringstream text;
    text << what << " failed (EGL error 0x" << std::hex << eglGetError() << ")";
    return text.str();
}

bool HasExtension(const char *list, const char *name)
{
    if (list == nullptr) {
        return false;
    }
    const size_t length = std::strlen(name);
    for (const char *at = std::strstr(list, name); at != nullptr; at = std::strstr(at + 1, name)) {
        const bool starts = at == list || at[-1] == ' ';
        const bool ends = at[length] == '\0' || at[length] == ' ';
        if (starts && ends) {
            return true;
        }
    }
    return false;
}

EGLint Attrib(EGLConfig config, EGLint name)
{
    EGLint value = 0;
    eglGetConfigAttrib(g_display, config, name, &value);
    return value;
}

// The channel sizes of each colour buffer Open offers.
struct ChannelBits {
    EGLint red, green, blue, alpha;
    const char *name;
};

ChannelBits BitsOf(Colour colour)
{
    return colour == Colour::kRgba8888 ? ChannelBits{8, 8, 8, 8, "RGBA 8888"}
                                       : ChannelBits{5, 6, 5, 0, "RGB 565"};
}

// eglChooseConfig sorts deeper colour buffers first, so the exact config with
// 16 depth bits has to be picked out by hand; any other match is only a
// fallback.
EGLConfig PickConfig(const ChannelBits &bits, bool *exact)
{
    const EGLint wanted[] = {EGL_SURFACE_TYPE,
                             EGL_PBUFFER_BIT,
                             EGL_RENDERABLE_TYPE,
                             EGL_OPENGL_BIT,
                             EGL_RED_SIZE,
                             bits.red,
                             EGL_GREEN_SIZE,
                             bits.green,
                             EGL_BLUE_SIZE,
                             bits.blue,
                             EGL_ALPHA_SIZE,
                             bits.alpha,
                             EGL_DEPTH_SIZE,
                             16,
                             EGL_SAMPLE_BUFFERS,
                             0,
                             EGL_NONE};
    EGLint count = 0;
    if (!eglChooseConfig(g_display, wanted, nullptr, 0, &count) || count <= 0) {
        return nullptr;
    }
    std::vector<EGLConfig> configs(static_cast<size_t>(count));
    eglChooseConfig(g_display, wanted, configs.data(), count, &count);
    for (EGLConfig config : configs) {
        if (Attrib(config, EGL_RED_SIZE) == bits.red &&
            Attrib(config, EGL_GREEN_SIZE) == bits.green &&
            Attrib(config, EGL_BLUE_SIZE) == bits.blue &&
            Attrib(config, EGL_ALPHA_SIZE) == bits.alpha && Attrib(config, EGL_DEPTH_SIZE) == 16) {
            *exact = true;
            return config;
        }
    }
    *exact = false;
    return configs.front();
}

} // namespace

bool Open(int width, int height, std::string *description, std::string *why, Colour colour)
{
    Close();
    const char *clientExtensions = eglQueryString(EGL_NO_DISPLAY, EGL_EXTENSIONS);
    if (!HasExtension(clientExtensions, "EGL_MESA_platform_surfaceless")) {
        *why = "EGL has no EGL_MESA_platform_surfaceless";
        return false;
    }
    auto getPlatformDisplay = reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(
        eglGetProcAddress("eglGetPlatformDisplayEXT"));
    if (getPlatformDisplay == nullptr) {
        *why = "EGL has no eglGetPlatformDisplayEXT";
        return false;
    }
    g_display = getPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
    if (g_display == EGL_NO_DISPLAY) {
        *why = EglError("eglGetPlatformDisplayEXT(EGL_PLATFORM_SURFACELESS_MESA)");
        return false;
    }
    if (!eglInitialize(g_display, nullptr, nullptr)) {
        *why = EglError("eglInitialize on the surfaceless display");
        g_display = EGL_NO_DISPLAY;
        return false;
    }
    if (!eglBindAPI(EGL_OPENGL_API)) {
        *why = EglError("eglBindAPI(EGL_OPENGL_API)");
        Close();
        return false;
    }
    const ChannelBits bits = BitsOf(colour);
    bool exact = false;
    EGLConfig config = PickConfig(bits, &exact);
    if (config == nullptr) {
        *why = "no EGL config with a desktop-GL pbuffer and a depth buffer";
        Close();
        return false;
    }
    const EGLint surfaceAttribs[] = {EGL_WIDTH, width, EGL_HEIGHT, height, EGL_NONE};
    g_surface = eglCreatePbufferSurface(g_display, config, surfaceAttribs);
    if (g_surface == EGL_NO_SURFACE) {
        *why = EglError("eglCreatePbufferSurface");
        Close();
        return false;
    }
    // No attributes asks for version 1.0, which EGL answers with the highest
    // compatibility-profile version: the fixed-function pipeline stays.
    g_context = eglCreateContext(g_display, config, EGL_NO_CONTEXT, nullptr);
    if (g_context == EGL_NO_CONTEXT) {
        *why = EglError("eglCreateContext (desktop GL, compatibility)");
        Close();
        return false;
    }
    if (!eglMakeCurrent(g_display, g_surface, g_surface, g_context)) {
        *why = EglError("eglMakeCurrent");
        Close();
        return false;
    }
    std::ostringstream text;
    text << "EGL surfaceless pbuffer " << width << "x" << height << ", config 0x" << std::hex
         << Attrib(config, EGL_CONFIG_ID) << std::dec << " (" << bits.name
         << (exact ? ", depth 16)" : " / depth 16 not offered; nearest match)") << ": "
         << DescribeCurrentBuffers();
    *description = text.str();
    return true;
}

void Close()
{
    if (g_display == EGL_NO_DISPLAY) {
        return;
    }
    eglMakeCurrent(g_display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    if (g_context != EGL_NO_CONTEXT) {
        eglDestroyContext(g_display, g_context);
        g_context = EGL_NO_CONTEXT;
    }
    if (g_surface != EGL_NO_SURFACE) {
        eglDestroySurface(g_display, g_surface);
        g_surface = EGL_NO_SURFACE;
    }
    // NOTE: The display is left initialised for the rest of the process. Mesa
    // unloads its driver on eglTerminate, and what the driver never freed
    // would then reach the leak checker with no module name to suppress it by.
    // The next Open gets the same display back and initialises it again,
    // which costs nothing.
    g_display = EGL_NO_DISPLAY;
}

} // namespace offscreen
