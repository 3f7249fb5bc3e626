// The frame loop's pass written with SDL2, asking for the framebuffer our
// pixel format gets, in a window of the same size.
#include "pass_harness.h"
#include "same_framebuffer.h"

#include <GL/glx.h>
#include <SDL.h>
#include <X11/Xlib.h>

#include <cstdio>
#include <string>

namespace {

SDL_Window *g_window = nullptr;

void Events()
{
    // One event a pass, as our loop takes one message.
    SDL_Event event;
    SDL_PollEvent(&event);
}

void Swap()
{
    SDL_GL_SwapWindow(g_window);
}

bool Escape()
{
    return SDL_GetKeyboardState(nullptr)[SDL_SCANCODE_ESCAPE] != 0;
}

// SDL takes the visual GLX ranks first for its sizes, which has a deeper
// depth buffer than ours; name the one with exactly our sizes instead.
void PickOurVisual()
{
    Display *display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        return;
    }
    int count = 0;
    GLXFBConfig *configs =
        glXChooseFBConfig(display, DefaultScreen(display), kSameFramebuffer, &count);
    for (int i = 0; i < count; ++i) {
        int depth = 0, alpha = 0, stencil = 0, visual = 0;
        glXGetFBConfigAttrib(display, configs[i], GLX_DEPTH_SIZE, &depth);
        glXGetFBConfigAttrib(display, configs[i], GLX_ALPHA_SIZE, &alpha);
        glXGetFBConfigAttrib(display, configs[i], GLX_STENCIL_SIZE, &stencil);
        glXGetFBConfigAttrib(display, configs[i], GLX_VISUAL_ID, &visual);
        if (depth == 16 && alpha == 0 && stencil == 0 && visual != 0) {
            SDL_SetHint(SDL_HINT_VIDEO_X11_WINDOW_VISUALID, std::to_string(visual).c_str());
            break;
        }
    }
    if (configs != nullptr) {
        XFree(configs);
    }
    XCloseDisplay(display);
}

} // namespace

int main(int argc, char **argv)
{
    const PassSize size = ParsePassSize(argc, argv);
    PickOurVisual();
    if (SDL_Init(SDL_INIT_VIDEO) != 0) {
        std::fprintf(stderr, "pass sdl: %s\n", SDL_GetError());
        return 1;
    }
    SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_ALPHA_SIZE, 0);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 16);
    SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, 0);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    g_window = SDL_CreateWindow("pass sdl", 0, 0, size.width, size.height,
                                SDL_WINDOW_OPENGL | SDL_WINDOW_BORDERLESS | SDL_WINDOW_SHOWN);
    SDL_GLContext context = g_window != nullptr ? SDL_GL_CreateContext(g_window) : nullptr;
    if (context == nullptr) {
        std::fprintf(stderr, "pass sdl: %s\n", SDL_GetError());
        SDL_Quit();
        return 1;
    }
    // Xvfb never waits for a vertical blank, but a real server would.
    SDL_GL_SetSwapInterval(0);
    const int status = RunPasses(argc, argv, {"sdl", Events, Swap, Escape}, size);
    SDL_GL_DeleteContext(context);
    SDL_DestroyWindow(g_window);
    SDL_Quit();
    return status;
}
