/* The record that the preloaded probes keep in a file shared with
 * bench/run.py, which reads it with Python's struct: frame counts and times,
 * and heap allocations sorted by who asked for them. Every field is 64 bits
 * wide, so the 32-bit frame probe that Wine loads and the reader agree on the
 * layout; a change here is a change to RECORD in bench/run.py. Plain C: the
 * probes are C. */
#ifndef TOWER_BENCH_PROBE_RECORD_H
#define TOWER_BENCH_PROBE_RECORD_H

#include <fcntl.h>
#include <stdint.h>
#include <stdlib.h>
#include <sys/mman.h>
#include <unistd.h>

#define PROBE_MAGIC 0x32424f5250525754ull /* "TWRPROB2" */
#define PROBE_MAX_PIDS 64
#define PROBE_MAX_MARKS 4
#define PROBE_MAX_CALLERS 24
#define PROBE_NAME_WORDS 6 /* 48 bytes of a library's file name */

/* Who asked for a heap block. */
enum ProbeOwner {
    PROBE_PROGRAM = 0,   /* code in the executable itself */
    PROBE_X_FOR_PROGRAM, /* the X libraries, called by the executable */
    PROBE_GL_DRIVER,     /* anything under libGL, Mesa or its threads */
    PROBE_OWNERS
};

/* Memory use and allocation counts when a given frame was presented. */
struct ProbeMark {
    uint64_t frame; /* 0 while the frame has not come */
    uint64_t rss_kb;
    uint64_t hwm_kb;
    uint64_t allocs[PROBE_OWNERS];
};

/* Allocations after the first frame, by the library that called the
 * allocator (the first caller past libc and the C++ runtime). */
struct ProbeCaller {
    uint64_t name[PROBE_NAME_WORDS];
    uint64_t allocs;
};

struct ProbeRecord {
    uint64_t magic;
    uint64_t pid_count;
    uint64_t pids[PROBE_MAX_PIDS];          /* every process that loaded the frame probe */
    uint64_t marks_wanted[PROBE_MAX_MARKS]; /* frames to note a mark at */
    uint64_t exec_ns;                       /* CLOCK_MONOTONIC at exec, set by the reader */
    uint64_t swap_pid;                      /* the process that presented frames */
    uint64_t swaps;
    uint64_t first_swap_ns;
    uint64_t startup_allocs; /* before the first frame, all owners */
    uint64_t allocs[PROBE_OWNERS];
    struct ProbeMark marks[PROBE_MAX_MARKS];
    uint64_t caller_count;
    struct ProbeCaller callers[PROBE_MAX_CALLERS];
};

/* The record named by TOWER_PROBE_FILE, mapped shared; NULL when there is
 * none, so that a probe loaded without one does nothing. */
static inline struct ProbeRecord *ProbeMapRecord(void)
{
    const char *path = getenv("TOWER_PROBE_FILE");
    const int fd = path != NULL && path[0] != '\0' ? open(path, O_RDWR | O_CLOEXEC) : -1;
    if (fd < 0) {
        return NULL;
    }
    void *map = mmap(NULL, sizeof(struct ProbeRecord), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    close(fd);
    if (map == MAP_FAILED) {
        return NULL;
    }
    struct ProbeRecord *rec = (struct ProbeRecord *)map;
    if (rec->magic != PROBE_MAGIC) {
        munmap(map, sizeof(struct ProbeRecord));
        return NULL;
    }
    return rec;
}

#endif
