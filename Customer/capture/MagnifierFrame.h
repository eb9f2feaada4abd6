// The platform-neutral half of the magnifier capture: the copy of a delivered
// frame into the capture's bitmap, and the list of windows the magnifier
// leaves out (MagnifierCapture_win.cpp drives both).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

namespace magnifier {

// Copies a top-down source frame into a bottom-up bitmap so that the bitmap
// shows it upright: bitmap row i takes source row srcHeight - 1 - i. Only
// min(srcStride, dstStride) bytes of min(srcHeight, dstHeight) rows move, so
// a frame of another size or a wider stride never runs past either buffer.
void CopyRowsBottomUp(uint8_t* dst, size_t dstStride, int dstHeight, const uint8_t* src, size_t srcStride,
                      int srcHeight);

// Windows left out of the magnifier's picture, in registration order, each
// once. The array handed to the magnifier has room for a multiple of 50
// handles and grows by 50 when the list outgrows it.
class ExclusionList {
public:
    static constexpr size_t kCapacityStep = 50;
    static constexpr unsigned kSweepMs = 1000;

    // False (nothing changes) for a handle already listed.
    bool Add(uintptr_t window);
    // The timer's step: true when the magnifier must be handed the array now
    // (the list changed, or a sweep removed or kept windows after kSweepMs).
    // isAlive tells a live window from a destroyed one.
    bool Tick(unsigned elapsedMs, const std::function<bool(uintptr_t)>& isAlive);
    void Clear();

    const std::vector<uintptr_t>& Array() const { return m_array; }
    size_t Count() const { return m_list.size(); }
    size_t Capacity() const { return m_capacity; }

private:
    void Rebuild();

    std::vector<uintptr_t> m_list;
    std::vector<uintptr_t> m_array;
    size_t m_capacity = kCapacityStep;
    bool m_changed = false;
    unsigned m_elapsed = 0;
};

} // namespace magnifier
