// Counting allocator: malloc, calloc, realloc, free and the aligned
// variants of the process go through here to the C library's own entry
// points, and the usable size of every live block is added up. Defined in
// the executable, these take the place of the C library's for every shared
// library too, so the other readers are counted the same way.
#include "heap_count.h"

#include <malloc.h>

#include <atomic>
#include <cerrno>
#include <cstdint>

extern "C" {
void *__libc_malloc(std::size_t);
void *__libc_calloc(std::size_t, std::size_t);
void *__libc_realloc(void *, std::size_t);
void *__libc_memalign(std::size_t, std::size_t);
void __libc_free(void *);
}

namespace {

std::atomic<std::size_t> live{0};
std::atomic<std::size_t> high{0};

void added(void *p) {
    if (!p)
        return;
    const std::size_t now = live.fetch_add(malloc_usable_size(p), std::memory_order_relaxed) +
                            malloc_usable_size(p);
    std::size_t seen = high.load(std::memory_order_relaxed);
    while (now > seen && !high.compare_exchange_weak(seen, now, std::memory_order_relaxed)) {
    }
}

void removed(void *p) {
    if (p)
        live.fetch_sub(malloc_usable_size(p), std::memory_order_relaxed);
}

} // namespace

extern "C" {

void *malloc(std::size_t n) {
    void *p = __libc_malloc(n);
    added(p);
    return p;
}

void *calloc(std::size_t count, std::size_t n) {
    void *p = __libc_calloc(count, n);
    added(p);
    return p;
}

void *realloc(void *old, std::size_t n) {
    const std::size_t before = old ? malloc_usable_size(old) : 0;
    void *p = __libc_realloc(old, n);
    if (p) {
        live.fetch_sub(before, std::memory_order_relaxed);
        added(p);
    } else if (old && n == 0) {
        live.fetch_sub(before, std::memory_order_relaxed); // freed
    }
    return p;
}

void free(void *p) {
    removed(p);
    __libc_free(p);
}

void *memalign(std::size_t alignment, std::size_t n) {
    void *p = __libc_memalign(alignment, n);
    added(p);
    return p;
}

void *aligned_alloc(std::size_t alignment, std::size_t n) { return memalign(alignment, n); }

int posix_memalign(void **out, std::size_t alignment, std::size_t n) {
    if (alignment % sizeof(void *) != 0 || (alignment & (alignment - 1)) != 0)
        return EINVAL;
    void *p = memalign(alignment, n);
    if (!p)
        return ENOMEM;
    *out = p;
    return 0;
}

void *valloc(std::size_t n) { return memalign(4096, n); }

} // extern "C"

namespace vantor_bench {

bool heap_counting() { return true; }
std::size_t heap_current() { return live.load(std::memory_order_relaxed); }
std::size_t heap_peak() { return high.load(std::memory_order_relaxed); }
void heap_reset_peak() { high.store(live.load(std::memory_order_relaxed), std::memory_order_relaxed); }

} // namespace vantor_bench
