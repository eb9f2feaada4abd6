// The connection's stop request, seen by every wait of its reads and sends.
#pragma once

#include "rfb/Exception.h"

#include <atomic>

namespace viewer {

class StopFlag {
public:
    void request() { m_stop.store(true); }
    void clear() { m_stop.store(false); }
    bool requested() const { return m_stop.load(); }

private:
    std::atomic<bool> m_stop{false};
};

// Thrown by a read or send that ends because the connection was stopped.
class Stopped : public rdr::Exception {
public:
    Stopped() : rdr::Exception("Stopped", "the connection was stopped") {}
};

} // namespace viewer
