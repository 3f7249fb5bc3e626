// The floor for a whole frame loop on this X server: a screen-sized GLX
// window that each pass only clears, sleeps 1 ms and swaps, with the
// framebuffer the program's pixel format gets. Runs until SIGTERM or
// SIGINT.
#include "pass/same_framebuffer.h"

#include <GL/gl.h>
#include <GL/glx.h>
#include <X11/Xlib.h>

#include <csignal>
#include <cstdio>
#include <ctime>

namespace {

volatile std::sig_atomic_t g_stop = 0;

void Stop(int)
{
    g_stop = 1;
}

} // namespace

int main()
{
    std::signal(SIGTERM, Stop);
    std::signal(SIGINT, Stop);
    Display *display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        std::fprintf(stderr, "floor: no X server\n");
        return 1;
    }
    const int screen = DefaultScreen(display);
    int count = 0;
    GLXFBConfig *configs = glXChooseFBConfig(display, screen, kSameFramebuffer, &count);
    XVisualInfo *visual = count > 0 ? glXGetVisualFromFBConfig(display, configs[0]) : nullptr;
    if (visual == nullptr) {
        std::fprintf(stderr, "floor: no GLX configuration\n");
        return 1;
    }
    const Window root = RootWindow(display, screen);
    XSetWindowAttributes set = {};
    set.colormap = XCreateColormap(display, root, visual->visual, AllocNone);
    set.override_redirect = True;
    const int width = DisplayWidth(display, screen);
    const int height = DisplayHeight(display, screen);
    const Window window = XCreateWindow(
        display, root, 0, 0, static_cast<unsigned>(width), static_cast<unsigned>(height), 0,
        visual->depth, InputOutput, visual->visual, CWColormap | CWOverrideRedirect, &set);
    XMapWindow(display, window);
    const GLXContext context =
        glXCreateNewContext(display, configs[0], GLX_RGBA_TYPE, nullptr, True);
    if (context == nullptr || !glXMakeCurrent(display, window, context)) {
        std::fprintf(stderr, "floor: no GL context\n");
        return 1;
    }
    glViewport(0, 0, width, height);
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    const timespec millisecond = {0, 1000000};
    while (!g_stop) {
        while (XPending(display) > 0) {
            XEvent event;
            XNextEvent(display, &event);
        }
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        nanosleep(&millisecond, nullptr);
        glXSwapBuffers(display, window);
    }
    glXMakeCurrent(display, None, nullptr);
    glXDestroyContext(display, context);
    XFree(visual);
    XFree(configs);
    XCloseDisplay(display);
    return 0;
}
