#include "core/base/CHeap.h"

#include <windows.h>

namespace {

// SRWLOCK needs no construction, so objects built by static initialisers of
// other files may already use the heap.
SRWLOCK g_lock = SRWLOCK_INIT;
HANDLE g_heap = nullptr;
std::uint32_t g_live = 0;

class HeapGuard {
public:
    HeapGuard() { AcquireSRWLockExclusive(&g_lock); }
    ~HeapGuard() { ReleaseSRWLockExclusive(&g_lock); }
    HeapGuard(const HeapGuard&) = delete;
    HeapGuard& operator=(const HeapGuard&) = delete;
};

// Caller holds the lock.
void DestroyIfUnused()
{
    if (g_live == 0 && g_heap != nullptr && HeapDestroy(g_heap))
        g_heap = nullptr;
}

} // namespace

void* CHeap::operator new(std::size_t size) noexcept
{
    HeapGuard lock;
    if (g_heap == nullptr) {
        g_heap = HeapCreate(0, 0, 0);
        if (g_heap == nullptr)
            return nullptr;
    }
    void* block = HeapAlloc(g_heap, 0, size);
    if (block != nullptr)
        ++g_live;
    else
        DestroyIfUnused();
    return block;
}

void CHeap::operator delete(void* block) noexcept
{
    if (block == nullptr)
        return;
    HeapGuard lock;
    if (g_heap != nullptr && HeapFree(g_heap, 0, block))
        --g_live;
    DestroyIfUnused();
}

std::uint32_t CHeap::LiveCount()
{
    HeapGuard lock;
    return g_live;
}

void* CHeap::HeapHandle()
{
    HeapGuard lock;
    return g_heap;
}
