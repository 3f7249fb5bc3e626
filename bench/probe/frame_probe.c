/* A library preloaded into a program under benchmark. It watches the
 * program from outside, without changing what it does: it counts
 * presented frames (glXSwapBuffers), notes the time of the first one, and,
 * when asked, counts heap allocations by who asked for them. Everything
 * lands in a record file shared with the bench script (probe_record.h),
 * live, so the script can read it at any moment and however the program
 * ends.
 *
 * Environment, read once at load:
 *   TOWER_PROBE_FILE     the record file; without it the probe does nothing
 *   TOWER_PROBE_EXEC_NS  CLOCK_MONOTONIC at exec, set by `tower_probe exec`
 *   TOWER_PROBE_ALLOCS   1: count heap allocations
 *   TOWER_PROBE_MARKS    frame numbers to note memory use at, e.g. 1000,100000
 *   TOWER_PROBE_NOSLEEP  1: nanosleep returns at once, so a run of many
 *                        frames takes less time (the memory run only)
 *
 * Plain C, for one reason: the same file builds as the 32-bit library that
 * Wine's processes load, with nothing but the C library. */
#define _GNU_SOURCE
#include "probe_record.h"

#include <dlfcn.h>
#include <errno.h>
#include <execinfo.h>
#include <fcntl.h>
#include <link.h>
#include <pthread.h>
#include <stddef.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <time.h>
#include <unistd.h>

#define TLS __attribute__((tls_model("initial-exec"))) __thread

/* glibc's own allocator, beneath the names we take over. */
extern void *__libc_malloc(size_t size);
extern void *__libc_calloc(size_t count, size_t size);
extern void *__libc_realloc(void *block, size_t size);
extern void *__libc_memalign(size_t alignment, size_t size);

static struct ProbeRecord *g_rec;
static int g_countAllocs;
static int g_noSleep;
static volatile int g_armed; /* the first frame is out: classify from now */
static uint64_t g_marks[PROBE_MAX_MARKS];
static int g_markCount;
static uint64_t g_execNs;
static uint64_t g_localSwaps; /* this process's own, for its exit note */
static TLS int t_inside;

static uint64_t Now(clockid_t clock)
{
    struct timespec t;
    clock_gettime(clock, &t);
    return (uint64_t)t.tv_sec * 1000000000ull + (uint64_t)t.tv_nsec;
}

static uint64_t ParseU64(const char *s, const char **end)
{
    uint64_t v = 0;
    while (*s >= '0' && *s <= '9') {
        v = v * 10 + (uint64_t)(*s - '0');
        ++s;
    }
    if (end != NULL) {
        *end = s;
    }
    return v;
}

static int EnvIsOne(const char *name)
{
    const char *v = getenv(name);
    return v != NULL && strcmp(v, "1") == 0;
}

/* ---- Who called the allocator: code ranges of every loaded object ---- */

enum Kind { KIND_EXE, KIND_ALLOCATOR, KIND_XLIB, KIND_GL };

struct Range {
    uintptr_t lo, hi;
    int kind;
    const char *name; /* the loader's string, alive while the object is */
};

#define MAX_RANGES 512
static struct Range g_ranges[MAX_RANGES];
static int g_rangeCount;
static int g_rebuilds;
static volatile int g_lock;
static const char *g_selfName = "";

static void Lock(void)
{
    while (__atomic_test_and_set(&g_lock, __ATOMIC_ACQUIRE)) {
    }
}

static void Unlock(void)
{
    __atomic_clear(&g_lock, __ATOMIC_RELEASE);
}

static const char *BaseName(const char *path)
{
    const char *slash = strrchr(path, '/');
    return slash != NULL ? slash + 1 : path;
}

static int StartsWith(const char *s, const char *prefix)
{
    return strncmp(s, prefix, strlen(prefix)) == 0;
}

/* The allocator's own layers and the loader are looked through: what
 * counts is who called them. */
static int KindOfObject(const char *path, int first)
{
    const char *base = BaseName(path);
    if (first) {
        return KIND_EXE;
    }
    if (strcmp(base, g_selfName) == 0) {
        return KIND_ALLOCATOR;
    }
    if (StartsWith(base, "libc.so") || StartsWith(base, "libstdc++") ||
        StartsWith(base, "libgcc_s") || StartsWith(base, "ld-linux") ||
        StartsWith(base, "libm.so")) {
        return KIND_ALLOCATOR;
    }
    if (StartsWith(base, "libX") || StartsWith(base, "libxcb")) {
        return KIND_XLIB;
    }
    return KIND_GL;
}

static int AddRanges(struct dl_phdr_info *info, size_t size, void *data)
{
    int *index = data;
    (void)size;
    for (int i = 0; i < info->dlpi_phnum; ++i) {
        const ElfW(Phdr) *ph = &info->dlpi_phdr[i];
        if (ph->p_type != PT_LOAD || (ph->p_flags & PF_X) == 0 || g_rangeCount == MAX_RANGES) {
            continue;
        }
        struct Range *r = &g_ranges[g_rangeCount++];
        r->lo = info->dlpi_addr + ph->p_vaddr;
        r->hi = r->lo + ph->p_memsz;
        r->name = info->dlpi_name != NULL && info->dlpi_name[0] != '\0' ? info->dlpi_name
                                                                        : "(executable)";
        r->kind = KindOfObject(info->dlpi_name != NULL ? info->dlpi_name : "", *index == 0);
    }
    ++*index;
    return 0;
}

static void BuildRanges(void)
{
    int index = 0;
    g_rangeCount = 0;
    dl_iterate_phdr(AddRanges, &index);
}

static const struct Range *RangeOf(uintptr_t pc)
{
    for (int pass = 0; pass < 2; ++pass) {
        for (int i = 0; i < g_rangeCount; ++i) {
            if (pc >= g_ranges[i].lo && pc < g_ranges[i].hi) {
                return &g_ranges[i];
            }
        }
        /* Loaded since we last looked, or code made at run time (the
         * driver's compiled shaders), which no rebuild will find. */
        if (pass == 0 && g_rebuilds < 64) {
            ++g_rebuilds;
            BuildRanges();
        } else {
            break;
        }
    }
    return NULL;
}

static void CountCaller(const char *name)
{
    const char *base = BaseName(name);
    struct ProbeCaller *slot = NULL;
    uint64_t n = g_rec->caller_count;
    for (uint64_t i = 0; i < n && slot == NULL; ++i) {
        if (strncmp((const char *)g_rec->callers[i].name, base, sizeof g_rec->callers[i].name) ==
            0) {
            slot = &g_rec->callers[i];
        }
    }
    if (slot == NULL && n < PROBE_MAX_CALLERS) {
        slot = &g_rec->callers[n];
        strncpy((char *)slot->name, base, sizeof slot->name - 1);
        __atomic_store_n(&g_rec->caller_count, n + 1, __ATOMIC_RELEASE);
    }
    if (slot != NULL) {
        ++slot->allocs;
    }
}

/* Walk out from the allocator to the first code that is not allocator or
 * loader: the executable's own code is the program's; X library code
 * counts as the program's only if the executable called it directly. */
static int Classify(void *const *pcs, int n)
{
    int seenX = 0;
    int named = 0;
    for (int i = 0; i < n; ++i) {
        const struct Range *r = RangeOf((uintptr_t)pcs[i] - 1);
        if (r != NULL && r->kind == KIND_ALLOCATOR) {
            continue;
        }
        if (!named) {
            CountCaller(r != NULL ? r->name : "(run-time code)");
            named = 1;
        }
        if (r == NULL || r->kind == KIND_GL) {
            return PROBE_GL_DRIVER;
        }
        if (r->kind == KIND_EXE) {
            return seenX ? PROBE_X_FOR_PROGRAM : PROBE_PROGRAM;
        }
        seenX = 1;
    }
    /* A thread that never passes through the executable: the driver's. */
    return PROBE_GL_DRIVER;
}

static void NoteAllocation(size_t size)
{
    if (!g_countAllocs || g_rec == NULL) {
        return;
    }
    if (!g_armed) {
        __atomic_add_fetch(&g_rec->startup_allocs, 1, __ATOMIC_RELAXED);
        return;
    }
    if (t_inside) {
        __atomic_add_fetch(&g_rec->unclassified, 1, __ATOMIC_RELAXED);
        return;
    }
    t_inside = 1;
    void *pcs[32];
    const int n = backtrace(pcs, 32);
    Lock();
    const int owner = Classify(pcs, n);
    ++g_rec->allocs[owner];
    g_rec->bytes[owner] += size;
    Unlock();
    t_inside = 0;
}

void *malloc(size_t size)
{
    NoteAllocation(size);
    return __libc_malloc(size);
}

void *calloc(size_t count, size_t size)
{
    NoteAllocation(count * size);
    return __libc_calloc(count, size);
}

void *realloc(void *block, size_t size)
{
    NoteAllocation(size);
    return __libc_realloc(block, size);
}

void *memalign(size_t alignment, size_t size)
{
    NoteAllocation(size);
    return __libc_memalign(alignment, size);
}

void *aligned_alloc(size_t alignment, size_t size)
{
    NoteAllocation(size);
    return __libc_memalign(alignment, size);
}

int posix_memalign(void **block, size_t alignment, size_t size)
{
    if (alignment < sizeof(void *) || (alignment & (alignment - 1)) != 0) {
        return EINVAL;
    }
    NoteAllocation(size);
    void *p = __libc_memalign(alignment, size);
    if (p == NULL) {
        return ENOMEM;
    }
    *block = p;
    return 0;
}

/* ---- Frames ---- */

/* VmRSS and VmHWM of this process, in kB, read without the heap. */
static void ReadMemory(uint64_t *rss, uint64_t *hwm)
{
    char text[4096];
    *rss = *hwm = 0;
    const int fd = open("/proc/self/status", O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return;
    }
    const ssize_t n = read(fd, text, sizeof text - 1);
    close(fd);
    if (n <= 0) {
        return;
    }
    text[n] = '\0';
    const char *p = strstr(text, "VmHWM:");
    if (p != NULL) {
        *hwm = ParseU64(p + 6 + strspn(p + 6, " \t"), NULL);
    }
    p = strstr(text, "VmRSS:");
    if (p != NULL) {
        *rss = ParseU64(p + 6 + strspn(p + 6, " \t"), NULL);
    }
}

static void NoteMark(int index, uint64_t frame, uint64_t now)
{
    struct ProbeMark *m = &g_rec->marks[index];
    ReadMemory(&m->rss_kb, &m->hwm_kb);
    m->time_ns = now;
    Lock();
    for (int i = 0; i < PROBE_OWNERS; ++i) {
        m->allocs[i] = g_rec->allocs[i];
        m->bytes[i] = g_rec->bytes[i];
    }
    Unlock();
    __atomic_store_n(&m->frame, frame, __ATOMIC_RELEASE);
}

typedef void (*SwapFn)(void *display, unsigned long drawable);
static SwapFn g_realSwap;

static void NoteSwap(void)
{
    const uint64_t now = Now(CLOCK_MONOTONIC);
    ++g_localSwaps;
    const uint64_t frame = __atomic_add_fetch(&g_rec->swaps, 1, __ATOMIC_RELAXED);
    if (frame == 1) {
        g_rec->swap_pid = (uint64_t)getpid();
        g_rec->exec_ns = g_execNs;
        g_rec->first_swap_ns = now;
        if (g_countAllocs) {
            void *warm[1];
            backtrace(warm, 1); /* loads the unwinder now, not mid-count */
            Lock();
            BuildRanges();
            Unlock();
        }
        g_armed = 1;
    }
    for (int i = 0; i < g_markCount; ++i) {
        if (g_marks[i] == frame) {
            NoteMark(i, frame, now);
        }
    }
    __atomic_store_n(&g_rec->last_swap_ns, now, __ATOMIC_RELEASE);
}

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
static void *AsData(AnyFn fn)
{
    void *data;
    memcpy(&data, &fn, sizeof data);
    return data;
}

static AnyFn AsFunction(void *data)
{
    AnyFn fn;
    memcpy(&fn, &data, sizeof fn);
    return fn;
}

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
        g_realGetProc = (GetProcFn)AsFunction(found);
        return AsData((AnyFn)glXGetProcAddressARB);
    }
    return found;
}
#endif

/* ---- Sleep, skipped on request ---- */

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

/* ---- Load and exit ---- */

static void RegisterProcess(struct ProbeRecord *rec)
{
    const uint64_t slot = __atomic_fetch_add(&rec->pid_count, 1, __ATOMIC_RELAXED);
    if (slot < PROBE_MAX_PIDS) {
        rec->pids[slot] = (uint64_t)getpid();
    }
}

static struct ProbeRecord *g_loaded;

static void RegisterChild(void)
{
    if (g_loaded != NULL) {
        RegisterProcess(g_loaded);
    }
}

__attribute__((constructor)) static void Load(void)
{
    const char *path = getenv("TOWER_PROBE_FILE");
    if (path == NULL || path[0] == '\0') {
        return;
    }
    const int fd = open(path, O_RDWR | O_CLOEXEC);
    if (fd < 0) {
        return;
    }
    void *map = mmap(NULL, sizeof(struct ProbeRecord), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    close(fd);
    if (map == MAP_FAILED) {
        return;
    }
    struct ProbeRecord *rec = map;
    if (rec->magic != PROBE_MAGIC) {
        munmap(map, sizeof(struct ProbeRecord));
        return;
    }
    RegisterProcess(rec);
    /* A server that goes to the background forks and lives on in the
     * child, whose time must count too. */
    pthread_atfork(NULL, NULL, RegisterChild);
    const char *exec = getenv("TOWER_PROBE_EXEC_NS");
    g_execNs = exec != NULL ? ParseU64(exec, NULL) : 0;
    g_noSleep = EnvIsOne("TOWER_PROBE_NOSLEEP");
    const char *marks = getenv("TOWER_PROBE_MARKS");
    while (marks != NULL && *marks != '\0' && g_markCount < PROBE_MAX_MARKS) {
        const char *end = NULL;
        const uint64_t frame = ParseU64(marks, &end);
        if (frame > 0) {
            g_marks[g_markCount++] = frame;
        }
        marks = *end == ',' ? end + 1 : "";
    }
    g_countAllocs = EnvIsOne("TOWER_PROBE_ALLOCS");
    Dl_info self;
    if (dladdr(&g_rec, &self) != 0 && self.dli_fname != NULL) {
        g_selfName = BaseName(self.dli_fname);
    }
    g_loaded = rec;
    g_rec = rec;
}

__attribute__((destructor)) static void Unload(void)
{
    if (g_rec == NULL || g_localSwaps == 0) {
        return;
    }
    g_rec->exit_cpu_ns = Now(CLOCK_PROCESS_CPUTIME_ID);
    g_rec->exit_swaps = g_localSwaps;
    __atomic_store_n(&g_rec->exit_ns, Now(CLOCK_MONOTONIC), __ATOMIC_RELEASE);
}
