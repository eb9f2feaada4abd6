#pragma once
// Growable byte buffer for request bodies, registry values, stored secrets and
// certificates. Up to 128 bytes live inside the object without any allocation;
// beyond that the bytes move to a heap block that grows in 256-byte steps and
// never shrinks except through Clear. The buffer holds raw bytes and adds no
// terminating zero: read it with Data() and Length().
#include <cstddef>
#include <cstdint>

class s_mem {
public:
    static constexpr uint32_t kInlineSize = 128;
    static constexpr uint32_t kGrowStep = 256;

    s_mem();
    s_mem(const s_mem& other);
    s_mem(s_mem&& other) noexcept;
    s_mem& operator=(const s_mem& other);
    s_mem& operator=(s_mem&& other) noexcept;
    ~s_mem();

    // Writes len bytes at pos; afterwards the length is exactly pos + len and
    // whatever stood after the written range is gone. Nothing changes when pos
    // lies beyond the length, data is null, len is 0, pos + len would not fit
    // in 32 bits or the store cannot grow: callers that must know compare
    // Length() afterwards. data may point into this buffer.
    virtual s_mem& WriteAt(size_t pos, const void* data, size_t len);
    virtual s_mem& Append(const void* data, size_t len);
    virtual s_mem& Assign(const void* data, size_t len);
    // Wipes the bytes held, releases a heap block and returns to the empty
    // inline state.
    virtual void Clear();
    virtual bool IsEmpty() const;

    uint8_t* Data() { return m_data; }
    const uint8_t* Data() const { return m_data; }
    uint32_t Length() const { return m_length; }
    uint32_t Capacity() const { return m_capacity; }

private:
    bool UsesHeap() const { return m_data != m_inline; }
    void TakeFrom(s_mem& other) noexcept;

    uint8_t m_inline[kInlineSize];
    uint8_t* m_data;
    uint32_t m_capacity;
    uint32_t m_length;
};
