// The replaced global allocator of largest_request.h.
#include "tests/link/largest_request.h"

#include <algorithm>
#include <cstdlib>
#include <new>

size_t g_largest_request = 0;

void* operator new(size_t size) {
    g_largest_request = std::max(g_largest_request, size);
    if (void* memory = std::malloc(size ? size : 1)) return memory;
    throw std::bad_alloc();
}
void* operator new[](size_t size) { return ::operator new(size); }
void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete[](void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, size_t) noexcept { std::free(memory); }
void operator delete[](void* memory, size_t) noexcept { std::free(memory); }
