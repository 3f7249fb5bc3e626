#include "alloc_counter.h"

#include <atomic>
#include <cstddef>

#if defined(__SANITIZE_ADDRESS__)
#define TOWER_ALLOC_COUNTER 0
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TOWER_ALLOC_COUNTER 0
#endif
#endif
#ifndef TOWER_ALLOC_COUNTER
#define TOWER_ALLOC_COUNTER 1
#endif

namespace {
std::atomic<bool> g_counting{false};
std::atomic<long> g_count{0};
} // namespace

namespace alloc_counter {

bool Available()
{
    return TOWER_ALLOC_COUNTER != 0;
}

void Start()
{
    g_count = 0;
    g_counting = true;
}

long Stop()
{
    g_counting = false;
    return g_count;
}

} // namespace alloc_counter

#if TOWER_ALLOC_COUNTER
// glibc lets a program supply malloc and friends; these forward to its own
// allocator, so memory from either side can be freed by the other.
extern "C" {
void *__libc_malloc(std::size_t size);
void *__libc_calloc(std::size_t n, std::size_t size);
void *__libc_realloc(void *p, std::size_t size);
void __libc_free(void *p);

void *malloc(std::size_t size)
{
    if (g_counting.load(std::memory_order_relaxed)) {
        ++g_count;
    }
    return __libc_malloc(size);
}

void *calloc(std::size_t n, std::size_t size)
{
    if (g_counting.load(std::memory_order_relaxed)) {
        ++g_count;
    }
    return __libc_calloc(n, size);
}

void *realloc(void *p, std::size_t size)
{
    if (g_counting.load(std::memory_order_relaxed)) {
        ++g_count;
    }
    return __libc_realloc(p, size);
}

void free(void *p)
{
    __libc_free(p);
}
}
#endif
