// Base class of the long-lived objects: they all live on one private heap.
#pragma once

#include <cstddef>
#include <cstdint>

// The heap is created by the first allocation and destroyed when the last
// block is released, so it exists exactly while a CHeap object is alive.
// Objects are created and deleted on many threads: the heap is serialised and
// the handle, the live count and the create/destroy steps share one lock.
class CHeap {
public:
    CHeap() = default;
    virtual ~CHeap() = default;

    // Returns null on failure (never throws); the new-expression then skips
    // the constructor. Memory is not cleared.
    static void* operator new(std::size_t size) noexcept;
    static void operator delete(void* block) noexcept;

    // State of the shared heap, for diagnostics and tests.
    static std::uint32_t LiveCount();
    static void* HeapHandle();
};
