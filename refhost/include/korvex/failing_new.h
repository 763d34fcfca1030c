// Replaces the program's global operator new so that a test or a fault sweep can make
// allocations fail on demand. Include it in exactly one source file of the program, which
// defines KvAllocationShouldFail(): every allocation asks it first and throws std::bad_alloc
// when it answers true. Every form of new and delete goes through malloc and free, so that
// what one form allocates any other may free.
#ifndef KORVEX_FAILING_NEW_H
#define KORVEX_FAILING_NEW_H

#include <cstdlib>
#include <new>

// Defined by the program: true to make the allocation being made now fail.
bool KvAllocationShouldFail() noexcept;

void* operator new(std::size_t size) {
    if (KvAllocationShouldFail()) throw std::bad_alloc();
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return operator new(size);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}
// Out of line, so that the compiler does not pair an inlined free with the new above.
__attribute__((noinline)) void operator delete(void* p) noexcept {
    std::free(p);
}
__attribute__((noinline)) void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
// What a no-throw new expression frees with when the constructor throws.
__attribute__((noinline)) void operator delete(void* p, const std::nothrow_t&) noexcept {
    std::free(p);
}

#endif
