/* A library preloaded beside the frame probe for the memory run: it counts every heap
 * allocation, and once the first frame is out (the frame probe's count in the shared record),
 * sorts each by who asked for it and notes the library that called the allocator. The counts
 * land in the same record (probe_record.h), where the frame probe's marks pick them up. */
#define _GNU_SOURCE
#include "probe_record.h"

#include <dlfcn.h>
#include <errno.h>
#include <execinfo.h>
#include <link.h>
#include <stddef.h>
#include <string.h>

/* glibc's own allocator, beneath the names we take over. */
extern void *__libc_malloc(size_t size);
extern void *__libc_calloc(size_t count, size_t size);
extern void *__libc_realloc(void *block, size_t size);
extern void *__libc_memalign(size_t alignment, size_t size);

static struct ProbeRecord *g_rec;
static volatile int g_lock; /* the callers' table, shared by every thread */
static __attribute__((tls_model("initial-exec"))) __thread int t_inside;

enum Kind { KIND_EXE, KIND_LOOKED_THROUGH, KIND_XLIB, KIND_GL };

static int StartsWith(const char *s, const char *prefix)
{
    return strncmp(s, prefix, strlen(prefix)) == 0;
}

/* The object holding the code at pc, by its file's name: "" for the executable, NULL for
 * code made at run time (the driver's compiled shaders). */
static const char *ObjectAt(void *pc)
{
    struct dl_find_object found;
    if (_dl_find_object((char *)pc - 1, &found) != 0) {
        return NULL;
    }
    const char *slash = strrchr(found.dlfo_link_map->l_name, '/');
    return slash != NULL ? slash + 1 : found.dlfo_link_map->l_name;
}

/* The allocator's own layers, the loader and the probes are looked through: what counts is
 * who called them. */
static int KindOf(const char *name)
{
    if (name == NULL) {
        return KIND_GL;
    }
    if (name[0] == '\0') {
        return KIND_EXE;
    }
    if (StartsWith(name, "libtower") || StartsWith(name, "libc.so") ||
        StartsWith(name, "libstdc++") || StartsWith(name, "libgcc_s") ||
        StartsWith(name, "ld-linux") || StartsWith(name, "libm.so")) {
        return KIND_LOOKED_THROUGH;
    }
    return StartsWith(name, "libX") || StartsWith(name, "libxcb") ? KIND_XLIB : KIND_GL;
}

static void CountCaller(const char *name)
{
    name = name == NULL ? "(run-time code)" : name[0] == '\0' ? "(executable)" : name;
    while (__atomic_test_and_set(&g_lock, __ATOMIC_ACQUIRE)) {
    }
    const uint64_t n = g_rec->caller_count;
    uint64_t i = 0;
    while (i < n && strncmp((const char *)g_rec->callers[i].name, name,
                            sizeof g_rec->callers[i].name - 1) != 0) {
        ++i;
    }
    if (i == n && n < PROBE_MAX_CALLERS) {
        strncpy((char *)g_rec->callers[i].name, name, sizeof g_rec->callers[i].name - 1);
        __atomic_store_n(&g_rec->caller_count, n + 1, __ATOMIC_RELEASE);
    }
    if (i < PROBE_MAX_CALLERS) {
        ++g_rec->callers[i].allocs;
    }
    __atomic_clear(&g_lock, __ATOMIC_RELEASE);
}

/* Walk out from the allocator to the first code that is not looked through: the executable's
 * own code is the program's; X library code counts as the program's only if the executable
 * called it directly. */
static int Classify(void *const *pcs, int n)
{
    int seenX = 0;
    int named = 0;
    for (int i = 0; i < n; ++i) {
        const char *name = ObjectAt(pcs[i]);
        const int kind = KindOf(name);
        if (kind == KIND_LOOKED_THROUGH) {
            continue;
        }
        if (!named) {
            CountCaller(name);
            named = 1;
        }
        if (kind == KIND_GL) {
            return PROBE_GL_DRIVER;
        }
        if (kind == KIND_EXE) {
            return seenX ? PROBE_X_FOR_PROGRAM : PROBE_PROGRAM;
        }
        seenX = 1;
    }
    /* A thread that never passes through the executable: the driver's. */
    return PROBE_GL_DRIVER;
}

static void NoteAllocation(void)
{
    if (g_rec == NULL || t_inside) {
        return;
    }
    if (__atomic_load_n(&g_rec->swaps, __ATOMIC_RELAXED) == 0) {
        __atomic_add_fetch(&g_rec->startup_allocs, 1, __ATOMIC_RELAXED);
        return;
    }
    /* backtrace may allocate; what it asks for is not the caller's. */
    t_inside = 1;
    void *pcs[32];
    const int n = backtrace(pcs, 32);
    __atomic_add_fetch(&g_rec->allocs[Classify(pcs, n)], 1, __ATOMIC_RELAXED);
    t_inside = 0;
}

void *malloc(size_t size)
{
    NoteAllocation();
    return __libc_malloc(size);
}

void *calloc(size_t count, size_t size)
{
    NoteAllocation();
    return __libc_calloc(count, size);
}

void *realloc(void *block, size_t size)
{
    NoteAllocation();
    return __libc_realloc(block, size);
}

void *memalign(size_t alignment, size_t size)
{
    NoteAllocation();
    return __libc_memalign(alignment, size);
}

void *aligned_alloc(size_t alignment, size_t size)
{
    NoteAllocation();
    return __libc_memalign(alignment, size);
}

int posix_memalign(void **block, size_t alignment, size_t size)
{
    if (alignment < sizeof(void *) || (alignment & (alignment - 1)) != 0) {
        return EINVAL;
    }
    NoteAllocation();
    void *p = __libc_memalign(alignment, size);
    if (p == NULL) {
        return ENOMEM;
    }
    *block = p;
    return 0;
}

__attribute__((constructor)) static void Load(void)
{
    g_rec = ProbeMapRecord();
    /* Loads the unwinder now, among the start-up's allocations, rather than in the middle of
     * the first counted one. */
    void *warm[1];
    backtrace(warm, 1);
}
