#include "CountingAllocator.h"

#include <atomic>
#include <cstddef>

// glibc's own entry points; the definitions below take the place of malloc, calloc and
// realloc for the whole process (libraries included) and hand on to them.
extern "C" {
void* __libc_malloc(size_t size);
void* __libc_calloc(size_t count, size_t size);
void* __libc_realloc(void* pointer, size_t size);
}

namespace {
std::atomic<uint64_t> allocations{0};
}

uint64_t allocationCount() { return allocations.load(std::memory_order_relaxed); }

extern "C" {

void* malloc(size_t size) {
    allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_malloc(size);
}

void* calloc(size_t count, size_t size) {
    allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_calloc(count, size);
}

void* realloc(void* pointer, size_t size) {
    allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_realloc(pointer, size);
}

}  // extern "C"
