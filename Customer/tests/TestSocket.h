// A connected TCP pair on 127.0.0.1 for session tests: the host end goes to
// the server through the platform's HostConnection, the viewer end is
// driven by the test.
#pragma once

#include "Customer/HostConnection.h"
#include "Customer/tests/RfbTestDecoder.h"
#include "rfb/SocketCalls.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

class TestSocketPair {
public:
    TestSocketPair();
    ~TestSocketPair();
    TestSocketPair(const TestSocketPair&) = delete;
    TestSocketPair& operator=(const TestSocketPair&) = delete;

    bool ok() const { return m_ok; }
    rdr::SocketHandle hostEnd() const { return m_host; }
    bool viewerSend(const void* data, size_t n);
    bool viewerSend(const std::vector<uint8_t>& bytes) { return viewerSend(bytes.data(), bytes.size()); }
    // Reads exactly n bytes within timeoutMs; false on time-out or close.
    bool viewerRecv(void* data, size_t n, int timeoutMs);
    // True when the host end was closed or shut down (a read returns 0 or
    // fails) within timeoutMs; data that arrives first is skipped.
    bool viewerSeesClose(int timeoutMs);
    void closeViewer();
    // Small socket buffers on both ends, so a viewer that does not read soon
    // leaves the host's sends waiting.
    void shrinkBuffers();

private:
    bool m_ok = false;
    rdr::SocketHandle m_host;
    rdr::SocketHandle m_viewer;
};

// The product's connection on Windows (VSocket), a plain socket one natively.
std::unique_ptr<HostConnection> MakeHostConnection(rdr::SocketHandle s);

// Decoder input from the viewer end of the pair.
class ViewerSource : public testrfb::ByteSource {
public:
    ViewerSource(TestSocketPair& pair, int timeoutMs = 5000) : m_pair(pair), m_timeoutMs(timeoutMs) {}
    void read(void* data, size_t n) override
    {
        if (n > 0 && !m_pair.viewerRecv(data, n, m_timeoutMs))
            throw testrfb::DecodeError("no data from the host");
    }

private:
    TestSocketPair& m_pair;
    int m_timeoutMs;
};
