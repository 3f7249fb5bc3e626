// The GL witness, preloaded into the program so that a test can follow it from
// outside. Every glXSwapBuffers appends one byte to the file named by
// TOWER_SWAP_COUNT_FILE, so the file's size is the count of frames presented
// and a reader never sees half an update. Every glViewport rewrites the file
// named by TOWER_VIEWPORT_FILE with its four numbers, so after the run it
// holds the last viewport the program asked for, context or not. Both calls
// are passed on unchanged. Nothing here allocates or starts a thread, so a
// memory checker watching the program sees only what the program does.
#include <GL/gl.h>
#include <GL/glx.h>

#include <cstdio>
#include <cstdlib>
#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

namespace {

// A file named by an environment variable, opened on first use; -1 when
// the variable is not set or the file cannot be made.
int OpenNamed(const char *variable, int flags, int *fd)
{
    if (*fd == -2) {
        const char *path = std::getenv(variable);
        *fd = path != nullptr ? open(path, flags | O_WRONLY | O_CREAT | O_CLOEXEC, 0644) : -1;
    }
    return *fd;
}

template <typename Fn> Fn Next(const char *name, Fn *cached)
{
    if (*cached == nullptr) {
        *cached = reinterpret_cast<Fn>(dlsym(RTLD_NEXT, name));
    }
    return *cached;
}

using SwapFn = void (*)(Display *, GLXDrawable);
using ViewportFn = void (*)(GLint, GLint, GLsizei, GLsizei);

SwapFn g_swap = nullptr;
ViewportFn g_viewport = nullptr;
int g_swapFd = -2;
int g_viewportFd = -2;

} // namespace

extern "C" __attribute__((visibility("default"))) void glXSwapBuffers(Display *display,
                                                                      GLXDrawable drawable)
{
    if (SwapFn next = Next("glXSwapBuffers", &g_swap)) {
        next(display, drawable);
    }
    const int fd = OpenNamed("TOWER_SWAP_COUNT_FILE", O_APPEND, &g_swapFd);
    if (fd >= 0) {
        const char frame = 'f';
        const ssize_t written = write(fd, &frame, 1);
        (void)written;
    }
}

extern "C" __attribute__((visibility("default"))) void glViewport(GLint x, GLint y, GLsizei width,
                                                                  GLsizei height)
{
    if (ViewportFn next = Next("glViewport", &g_viewport)) {
        next(x, y, width, height);
    }
    const int fd = OpenNamed("TOWER_VIEWPORT_FILE", 0, &g_viewportFd);
    if (fd >= 0) {
        // Fixed width, so each record overwrites the whole of the last one.
        char line[64];
        const int length = std::snprintf(line, sizeof line, "%11d %11d %11d %11d\n", x, y,
                                         static_cast<int>(width), static_cast<int>(height));
        if (length > 0) {
            const ssize_t written = pwrite(fd, line, static_cast<size_t>(length), 0);
            (void)written;
        }
    }
}
