#include "heap.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <new>

#include <malloc.h>

namespace {

std::atomic<bool> counting = false;
std::atomic<std::ptrdiff_t> held = 0, peak = 0;

void *allocated(std::size_t size) {
    void *memory = std::malloc(size ? size : 1);
    if (!memory)
        throw std::bad_alloc();
    if (counting.load(std::memory_order_relaxed)) {
        const std::ptrdiff_t now = held += static_cast<std::ptrdiff_t>(malloc_usable_size(memory));
        for (std::ptrdiff_t high = peak; now > high && !peak.compare_exchange_weak(high, now);)
            ;
    }
    return memory;
}

void freed(void *memory) {
    // A block made before the count started lowers the figure by its size: a caller makes
    // none that the counted code frees.
    if (memory && counting.load(std::memory_order_relaxed))
        held -= static_cast<std::ptrdiff_t>(malloc_usable_size(memory));
    std::free(memory);
}

} // namespace

void heap::startCounting() {
    held = 0;
    peak = 0;
    counting = true;
}

std::size_t heap::peakGrowth() {
    counting = false;
    return static_cast<std::size_t>(std::max<std::ptrdiff_t>(peak, 0));
}

void *operator new(std::size_t size) {
    return allocated(size);
}
void *operator new[](std::size_t size) {
    return allocated(size);
}
void operator delete(void *memory) noexcept {
    freed(memory);
}
void operator delete[](void *memory) noexcept {
    freed(memory);
}
void operator delete(void *memory, std::size_t) noexcept {
    freed(memory);
}
void operator delete[](void *memory, std::size_t) noexcept {
    freed(memory);
}
