// Our host (vncServer on the memory test desktop) on one end of a loopback
// pair, the viewer on the other, and the host core's update pump: the
// server's own whole-screen request every 50 ms, never bytes in the stream.
#pragma once

#include "Customer/session/tests/FakeHost.h"
#include "Customer/session/tests/TestSocket.h"
#include "Customer/session/vncServer.h"
#include "Customer/tests/TestFrames.h"
#include "Customer/tests/ViewerPixels.h"
#include "Technician/connection/ViewerSession.h"
#include "Technician/decode/tests/TestImage.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace viewer::testing {

class CountingEvents : public ViewerEvents {
public:
    void areaChanged(const rfb::Rect&) override {}
    void updateEnded() override { ++updates; }
    void framebufferResized() override {}
    void sizeReported() override {}
    void cursorChanged() override { ++cursors; }
    void inputDesktopLost() override {}
    void inputDesktopRestored() override {}
    std::atomic<int> updates{0};
    std::atomic<int> cursors{0};
};

class HostPeer {
public:
    HostPeer(int w, int h, unsigned seed = 7) : m_format(testframes::Host32()), m_w(w), m_h(h), m_seed(seed)
    {
        vncServer::InputDesktopLost().store(false);
        start();
        m_pump = std::thread([this] {
            std::unique_lock<std::mutex> hold(m_lock);
            while (!m_cv.wait_for(hold, std::chrono::milliseconds(50), [this] { return m_stop; }))
                server->RequestScreenUpdate();
        });
    }
    ~HostPeer()
    {
        {
            std::lock_guard<std::mutex> hold(m_lock);
            m_stop = true;
        }
        m_cv.notify_all();
        m_pump.join();
        server->KillClient();
    }

    // A new server on the same socket, as the core makes one per sharing start.
    void restart()
    {
        std::lock_guard<std::mutex> hold(m_lock);
        server->KillClient();
        // The old client thread must be gone before the next server reads the
        // same socket; on a loaded machine it can take longer than the
        // server's own join limit.
        for (int t = 0; t < 20000 && !server->SessionEnded(); t += 10)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        server.reset();
        start();
    }

    rdr::SocketHandle viewerSocket() const { return pair.farEnd(); }
    MemoryDesktop& desktop() { return *platform->desktop.load(); }

    // Pixels of the viewer's framebuffer that differ from the host's frame
    // translated to the viewer's format and coloured by rule 1.
    int mismatches(decode::Framebuffer& fb, const rfb::PixelFormat& viewer)
    {
        const testframes::Frame& f = desktop().screen.frame();
        if (fb.width() != m_w || fb.height() != m_h)
            return -1;
        // A copy taken under the lock, compared without it, so the reader
        // is not held up by the comparison.
        std::vector<uint32_t> shown;
        {
            const decode::Framebuffer::View v = fb.view();
            shown.assign(v.pixels(), v.pixels() + static_cast<size_t>(m_w) * m_h);
        }
        int bad = 0;
        for (int y = 0; y < m_h; ++y)
            for (int x = 0; x < m_w; ++x)
                if (shown[static_cast<size_t>(y) * m_w + x] !=
                    testdecode::Rule1(testframes::Expected(f.pixel(x, y), m_format, viewer), viewer))
                    ++bad;
        return bad;
    }
    // Waits until the viewer shows the host's frame; the count left.
    int waitShown(decode::Framebuffer& fb, const rfb::PixelFormat& viewer, int timeoutMs = 8000)
    {
        int bad = -1;
        for (int t = 0; t < timeoutMs; t += 20) {
            if ((bad = mismatches(fb, viewer)) == 0)
                return 0;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return bad;
    }

    LogCapture log;
    LoopbackPair pair{LoopbackPair::Sends::AtOnce};
    FakePlatform* platform = nullptr;
    std::unique_ptr<vncServer> server;

private:
    void start()
    {
        auto p = std::make_unique<FakePlatform>(m_format, m_w, m_h);
        p->initialFrame = testframes::Desktop(m_format, m_w, m_h, m_seed);
        platform = p.get();
        server = std::make_unique<vncServer>(std::move(p), MakeHostConnection(pair.nearEnd()));
        EXPECT_EQ(server->AddClientDefault(1, 1), 1);
    }

    rfb::PixelFormat m_format;
    int m_w, m_h;
    unsigned m_seed;
    std::mutex m_lock;
    std::condition_variable m_cv;
    bool m_stop = false;
    std::thread m_pump;
};

} // namespace viewer::testing
