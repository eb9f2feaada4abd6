#include "core/control/ControlStateBits.h"

uint32_t ControlStateBits::Get() const
{
    std::lock_guard<std::mutex> hold(m_lock);
    return m_bits;
}

uint32_t ControlStateBits::Change(uint32_t clear, uint32_t set)
{
    std::lock_guard<std::mutex> hold(m_lock);
    m_bits = (m_bits & ~clear) | set;
    return m_bits;
}
