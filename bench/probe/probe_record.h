/* The record the frame probe keeps in a file shared with the bench script:
 * frame counts, times, and heap allocations sorted by who asked for them.
 * Every field is 64 bits wide, so the 32-bit probe that Wine loads and the
 * 64-bit reader agree on the layout. Plain C: the probe is C. */
#ifndef TOWER_BENCH_PROBE_RECORD_H
#define TOWER_BENCH_PROBE_RECORD_H

#include <stdint.h>

#define PROBE_MAGIC 0x31424f5250525754ull /* "TWRPROB1" */
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

/* The allocation counts and memory use when a given frame was presented. */
struct ProbeMark {
    uint64_t frame; /* 0 while the frame has not come */
    uint64_t time_ns;
    uint64_t rss_kb;
    uint64_t hwm_kb;
    uint64_t allocs[PROBE_OWNERS];
    uint64_t bytes[PROBE_OWNERS];
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
    uint64_t pids[PROBE_MAX_PIDS]; /* every process that loaded the probe */
    uint64_t swap_pid;             /* the process that presented frames */
    uint64_t swaps;
    uint64_t exec_ns; /* CLOCK_MONOTONIC when the launcher exec'd */
    uint64_t first_swap_ns;
    uint64_t last_swap_ns;
    uint64_t exit_ns;
    uint64_t exit_cpu_ns;
    uint64_t exit_swaps;
    uint64_t startup_allocs; /* before the first frame, all owners */
    uint64_t allocs[PROBE_OWNERS];
    uint64_t bytes[PROBE_OWNERS];
    uint64_t unclassified; /* blocks asked for while classifying another */
    struct ProbeMark marks[PROBE_MAX_MARKS];
    uint64_t caller_count;
    struct ProbeCaller callers[PROBE_MAX_CALLERS];
};

#endif
