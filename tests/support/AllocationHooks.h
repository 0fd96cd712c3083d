// Replaces the global allocation functions of a test binary with ones that call two hooks the
// including file defines. Include it in exactly one file of a binary of its own: it changes every
// allocation of that binary.
//   void* testAllocate(std::size_t size, std::size_t alignment); // null when out of memory
//   void testFree(void* p);                                      // p may be null
// Memory from allocateAligned is released with free.
#pragma once

#include <cstddef>
#include <cstdlib>
#include <new>

// The replacements below pair operator new with free by design.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

void* testAllocate(std::size_t size, std::size_t alignment);
void testFree(void* p);

// malloc, or aligned_alloc for alignments beyond malloc's; a zero size allocates one byte.
inline void* allocateAligned(std::size_t size, std::size_t alignment) {
    if (size == 0)
        size = 1;
    return alignment <= alignof(std::max_align_t)
               ? std::malloc(size)
               : std::aligned_alloc(alignment, (size + alignment - 1) / alignment * alignment);
}

void* operator new(std::size_t size) {
    if (void* p = testAllocate(size, alignof(std::max_align_t)))
        return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) {
    return operator new(size);
}
void* operator new(std::size_t size, std::align_val_t al) {
    if (void* p = testAllocate(size, static_cast<std::size_t>(al)))
        return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size, std::align_val_t al) {
    return operator new(size, al);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return testAllocate(size, alignof(std::max_align_t));
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    return testAllocate(size, alignof(std::max_align_t));
}
void operator delete(void* p) noexcept {
    testFree(p);
}
void operator delete[](void* p) noexcept {
    testFree(p);
}
void operator delete(void* p, std::size_t) noexcept {
    testFree(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    testFree(p);
}
void operator delete(void* p, std::align_val_t) noexcept {
    testFree(p);
}
void operator delete[](void* p, std::align_val_t) noexcept {
    testFree(p);
}
void operator delete(void* p, std::size_t, std::align_val_t) noexcept {
    testFree(p);
}
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept {
    testFree(p);
}
