/* A library preloaded into a program under benchmark, to watch it from outside without
 * changing what it does: it counts presented frames (glXSwapBuffers, or eglSwapBuffers on
 * Wayland), notes the time of the first one and the memory use at the frames the reader asked
 * for, and names every process that loaded it, so that the reader can add up their CPU time.
 * All of it lands live in the record file named by TOWER_PROBE_FILE (probe_record.h); without
 * one the probe does nothing. TOWER_PROBE_NOSLEEP=1 makes nanosleep return at once, so that a
 * run of many frames takes less time (the memory run only). Built with -DPROBE_WRAP_DLSYM for
 * Wine's processes, in the word size of the Windows build Wine runs: plain C, needing nothing
 * but the C library. */
#define _GNU_SOURCE
#include "probe_record.h"

#include <dlfcn.h>
#include <errno.h>
#include <pthread.h>
#include <string.h>
#include <time.h>

static struct ProbeRecord *g_rec;
static int g_noSleep;

/* The number after NAME in /proc/self/status, read without the heap. */
static uint64_t StatusKb(const char *text, const char *name)
{
    const char *p = strstr(text, name);
    if (p == NULL) {
        return 0;
    }
    p += strlen(name);
    p += strspn(p, " \t");
    uint64_t v = 0;
    while (*p >= '0' && *p <= '9') {
        v = v * 10 + (uint64_t)(*p++ - '0');
    }
    return v;
}

/* The allocation counts come from the allocation probe when it is loaded
 * too, and are zero otherwise. */
static void NoteMark(struct ProbeMark *m, uint64_t frame)
{
    char text[4096];
    const int fd = open("/proc/self/status", O_RDONLY | O_CLOEXEC);
    const ssize_t n = fd >= 0 ? read(fd, text, sizeof text - 1) : -1;
    close(fd);
    text[n > 0 ? n : 0] = '\0';
    m->rss_kb = StatusKb(text, "VmRSS:");
    m->hwm_kb = StatusKb(text, "VmHWM:");
    for (int i = 0; i < PROBE_OWNERS; ++i) {
        m->allocs[i] = __atomic_load_n(&g_rec->allocs[i], __ATOMIC_RELAXED);
    }
    __atomic_store_n(&m->frame, frame, __ATOMIC_RELEASE);
}

static void NoteSwap(void)
{
    const uint64_t frame = __atomic_add_fetch(&g_rec->swaps, 1, __ATOMIC_RELAXED);
    if (frame == 1) {
        struct timespec t;
        clock_gettime(CLOCK_MONOTONIC, &t);
        g_rec->first_swap_ns = (uint64_t)t.tv_sec * 1000000000ull + (uint64_t)t.tv_nsec;
        __atomic_store_n(&g_rec->swap_pid, (uint64_t)getpid(), __ATOMIC_RELEASE);
    }
    for (int i = 0; i < PROBE_MAX_MARKS; ++i) {
        if (g_rec->marks_wanted[i] == frame) {
            NoteMark(&g_rec->marks[i], frame);
        }
    }
}

typedef void (*SwapFn)(void *display, unsigned long drawable);
static SwapFn g_realSwap;

void glXSwapBuffers(void *display, unsigned long drawable)
{
    if (g_realSwap == NULL) {
        void *found = dlsym(RTLD_NEXT, "glXSwapBuffers");
        /* Our own dlsym, where there is one, has set it already. */
        if (g_realSwap == NULL) {
            memcpy(&g_realSwap, &found, sizeof found);
        }
    }
    if (g_realSwap != NULL) {
        g_realSwap(display, drawable);
    }
    if (g_rec != NULL) {
        NoteSwap();
    }
}

typedef unsigned (*EglSwapFn)(void *display, void *surface);
static EglSwapFn g_realEglSwap;

/* The same on Wayland, where the program presents through EGL. */
unsigned eglSwapBuffers(void *display, void *surface)
{
    if (g_realEglSwap == NULL) {
        void *found = dlsym(RTLD_NEXT, "eglSwapBuffers");
        memcpy(&g_realEglSwap, &found, sizeof found);
    }
    const unsigned presented = g_realEglSwap != NULL ? g_realEglSwap(display, surface) : 0;
    if (g_rec != NULL) {
        NoteSwap();
    }
    return presented;
}

typedef void (*AnyFn)(void);
typedef AnyFn (*GetProcFn)(const unsigned char *name);
static GetProcFn g_realGetProc;

/* Programs that look GLX up by name get our swap too. */
static AnyFn GetProcAddress(const unsigned char *name)
{
    if (g_realGetProc == NULL) {
        void *found = dlsym(RTLD_NEXT, "glXGetProcAddressARB");
        if (g_realGetProc == NULL) {
            memcpy(&g_realGetProc, &found, sizeof found);
        }
    }
    AnyFn found = g_realGetProc != NULL ? g_realGetProc(name) : NULL;
    /* A lookup that lands on our own swap must not become the real one. */
    if (found != NULL && found != (AnyFn)glXSwapBuffers &&
        strcmp((const char *)name, "glXSwapBuffers") == 0) {
        memcpy(&g_realSwap, &found, sizeof found);
        return (AnyFn)glXSwapBuffers;
    }
    return found;
}

AnyFn glXGetProcAddressARB(const unsigned char *name)
{
    return GetProcAddress(name);
}

AnyFn glXGetProcAddress(const unsigned char *name)
{
    return GetProcAddress(name);
}

#ifdef PROBE_WRAP_DLSYM
#define AsData(fn) ((void *)(uintptr_t)(fn))

/* Wine's X11 driver takes glXGetProcAddressARB with dlsym on libGL's own
 * handle, which a preloaded definition alone does not reach, and finds the
 * rest of GLX through it. Only the Wine build takes dlsym over: it would
 * make RTLD_NEXT lookups by other libraries resolve from here. */
void *dlsym(void *handle, const char *name)
{
    static void *(*real)(void *, const char *);
    if (real == NULL) {
        void *next = dlvsym(RTLD_NEXT, "dlsym", "GLIBC_2.34");
        if (next == NULL) {
            next = dlvsym(RTLD_NEXT, "dlsym", "GLIBC_2.0");
        }
        memcpy(&real, &next, sizeof next);
    }
    void *found = real(handle, name);
    if (found == NULL || strncmp(name, "glX", 3) != 0) {
        return found;
    }
    if (strcmp(name, "glXSwapBuffers") == 0 && found != AsData((AnyFn)glXSwapBuffers)) {
        memcpy(&g_realSwap, &found, sizeof found);
        return AsData((AnyFn)glXSwapBuffers);
    }
    if ((strcmp(name, "glXGetProcAddressARB") == 0 || strcmp(name, "glXGetProcAddress") == 0) &&
        found != AsData((AnyFn)glXGetProcAddressARB) && found != AsData((AnyFn)glXGetProcAddress)) {
        memcpy(&g_realGetProc, &found, sizeof found);
        return AsData((AnyFn)glXGetProcAddressARB);
    }
    return found;
}
#endif

int nanosleep(const struct timespec *wait, struct timespec *left)
{
    if (g_noSleep) {
        return 0;
    }
    const int error = clock_nanosleep(CLOCK_MONOTONIC, 0, wait, left);
    if (error != 0) {
        errno = error;
        return -1;
    }
    return 0;
}

static void RegisterProcess(void)
{
    const uint64_t slot = __atomic_fetch_add(&g_rec->pid_count, 1, __ATOMIC_RELAXED);
    if (slot < PROBE_MAX_PIDS) {
        g_rec->pids[slot] = (uint64_t)getpid();
    }
}

__attribute__((constructor)) static void Load(void)
{
    g_rec = ProbeMapRecord();
    if (g_rec == NULL) {
        return;
    }
    const char *noSleep = getenv("TOWER_PROBE_NOSLEEP");
    g_noSleep = noSleep != NULL && strcmp(noSleep, "1") == 0;
    RegisterProcess();
    /* A server that goes to the background forks and lives on in the child,
     * whose time must count too. */
    pthread_atfork(NULL, NULL, RegisterProcess);
}
