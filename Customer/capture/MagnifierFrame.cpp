#include "Customer/capture/MagnifierFrame.h"

#include <algorithm>
#include <cstring>

namespace magnifier {

void CopyRowsBottomUp(uint8_t* dst, size_t dstStride, int dstHeight, const uint8_t* src, size_t srcStride,
                      int srcHeight)
{
    if (!dst || !src || dstHeight <= 0 || srcHeight <= 0)
        return;
    const size_t rowBytes = std::min(dstStride, srcStride);
    const int rows = std::min(dstHeight, srcHeight);
    for (int i = 0; i < rows; ++i) {
        const uint8_t* from = src + static_cast<size_t>(srcHeight - 1 - i) * srcStride;
        // Bottom-up: the bitmap's first row in memory is the picture's bottom.
        uint8_t* to = dst + static_cast<size_t>(i) * dstStride;
        std::memcpy(to, from, rowBytes);
    }
}

bool ExclusionList::Add(uintptr_t window)
{
    if (std::find(m_list.begin(), m_list.end(), window) != m_list.end())
        return false;
    m_list.push_back(window);
    Rebuild();
    m_changed = true;
    return true;
}

bool ExclusionList::Tick(unsigned elapsedMs, const std::function<bool(uintptr_t)>& isAlive)
{
    if (m_changed) {
        m_changed = false;
        m_elapsed = 0;
        return true;
    }
    m_elapsed += elapsedMs;
    if (m_elapsed < kSweepMs)
        return false;
    m_elapsed = 0;
    m_list.erase(std::remove_if(m_list.begin(), m_list.end(), [&](uintptr_t w) { return !isAlive(w); }),
                 m_list.end());
    Rebuild();
    return true;
}

void ExclusionList::Clear()
{
    m_list.clear();
    m_array.clear();
    m_capacity = kCapacityStep;
    m_changed = false;
    m_elapsed = 0;
}

void ExclusionList::Rebuild()
{
    while (m_list.size() > m_capacity)
        m_capacity += kCapacityStep;
    m_array.reserve(m_capacity);
    m_array.assign(m_list.begin(), m_list.end());
}

} // namespace magnifier
