#include "Customer/session/vncUpdateSender.h"

#include "Customer/encode/HostLog.h"
#include "Customer/session/HostMessages.h"
#include "Customer/session/vncClient.h"
#include "Customer/session/vncServer.h"
#include "rfb/Exception.h"
#include "rfb/RfbProto.h"

#include <omnithread.h>

#include <algorithm>
#include <exception>
#include <vector>

class vncClientUpdateThread : public omni_thread {
public:
    explicit vncClientUpdateThread(vncUpdateSender* sender) : m_sender(sender) {}
    void Start() { start_undetached(); }

private:
    // The body catches what it can handle itself; this is the last guard,
    // since anything leaving an omni_thread ends the process.
    void* run_undetached(void*) override
    {
        try {
            m_sender->Run();
        } catch (...) {
            HostLog(kHostLogError, "update sender ended: unknown exception\n");
        }
        return nullptr;
    }
    vncUpdateSender* m_sender;
};

vncUpdateSender::vncUpdateSender(vncClient& client) : m_client(client) {}

void vncUpdateSender::Stop()
{
    if (!m_updateThread)
        return;
    {
        omni_mutex_lock hold(m_client.GetUpdateLock());
        m_updateActive = false;
        m_trigger->signal();
    }
    // join() deletes the thread object.
    m_updateThread->join(nullptr);
    m_updateThread = nullptr;
}

// Pausing and resuming wait until the thread has acknowledged, so once
// Pause returns no update is being written.
void vncUpdateSender::Pause()
{
    omni_mutex_lock hold(m_client.GetUpdateLock());
    if (++m_pauseCount == 1 && m_updateThread && m_updateActive) {
        m_updateEnabled = false;
        m_ackPending = true;
        m_trigger->signal();
        while (m_ackPending && m_updateActive)
            m_sync->wait();
        HostLog(kHostLogDebug, "enable/disable synced\n");
    }
}

void vncUpdateSender::Resume()
{
    omni_mutex_lock hold(m_client.GetUpdateLock());
    if (m_pauseCount == 0) {
        HostLog(kHostLogError, "protocol enabled too many times!\n");
        return;
    }
    if (--m_pauseCount == 0 && m_updateThread && m_updateActive) {
        m_updateEnabled = true;
        m_ackPending = true;
        m_trigger->signal();
        while (m_ackPending && m_updateActive)
            m_sync->wait();
        HostLog(kHostLogDebug, "enable/disable synced\n");
    }
}

void vncUpdateSender::Trigger()
{
    if (!m_updateThread) {
        m_trigger = std::make_unique<omni_condition>(&m_client.GetUpdateLock());
        m_sync = std::make_unique<omni_condition>(&m_client.GetUpdateLock());
        m_updateActive = true;
        m_updateEnabled = m_pauseCount == 0;
        m_updateThread = new vncClientUpdateThread(this);
        m_updateThread->Start();
    }
    if (m_pauseCount == 0)
        m_trigger->signal();
}

rfb::Rect vncUpdateSender::ToViewer(const rfb::Rect& host) const
{
    const int n = m_client.m_scale;
    const int x = m_client.m_originX, y = m_client.m_originY;
    return rfb::Rect(host.left / n - x, host.top / n - y, host.right / n - x, host.bottom / n - y);
}

void vncUpdateSender::Run()
{
    omni_mutex& lock = m_client.GetUpdateLock();
    lock.lock();
    for (;;) {
        try {
            if (!WaitForWork())
                break;
            SendPass();
        } catch (const rdr::Exception& e) {
            HostLog(kHostLogError, "update abandoned: %s\n", e.str());
            m_client.AbortSession();
        } catch (const std::exception& e) {
            HostLog(kHostLogError, "update abandoned: %s\n", e.what());
            m_client.AbortSession();
        } catch (...) {
            HostLog(kHostLogError, "update abandoned: unknown exception\n");
            m_client.AbortSession();
        }
        lock.unlock();
        omni_thread::yield();
        lock.lock();
    }
    m_ackPending = false;
    m_sync->broadcast();
    lock.unlock();
}

// With the update lock held: waits until an update is due (true) or the
// sender is to end (false), acknowledging pause and resume on the way.
bool vncUpdateSender::WaitForWork()
{
    while (m_updateActive) {
        if (m_ackPending) {
            m_ackPending = false;
            m_sync->broadcast();
        }
        if (m_updateEnabled && m_client.m_running.load() && WantUpdate())
            return true;
        m_trigger->wait();
    }
    return false;
}

bool vncUpdateSender::WantUpdate()
{
    if (m_client.m_clipPending)
        return true;
    if (m_client.m_requested.is_empty() || m_client.m_awaitingEncodings)
        return false;
    if (m_client.m_sizeChangePending && m_client.m_newFBSizeAllowed)
        return true;
    return !m_client.m_tracker.get_changed().intersect(m_client.m_requested).is_empty() ||
           !m_client.m_tracker.get_copied().intersect(m_client.m_requested).is_empty() ||
           !m_client.m_tracker.get_cached().intersect(m_client.m_requested).is_empty();
}

// One pass: resize message, clipboard text, colour map and the update are
// built in memory and sent as one write, so a failure never leaves part of
// a message on the wire.
void vncUpdateSender::SendPass()
{
    m_out.clear();
    if (m_client.m_scaleChanged) {
        const rfb::Rect full = m_client.m_desktop->ScreenRect();
        const rfb::Rect size = m_client.m_server->GetSingleWindowMode() ? m_client.m_desktop->SharedRect() : full;
        const int w = size.width() / m_client.m_scale, h = size.height() / m_client.m_scale;
        if (m_client.m_resizeFullSize)
            hostmsg::WriteResizeFullSize(m_out, full.right, full.bottom, w, h);
        else
            hostmsg::WriteResize(m_out, w, h);
        m_client.m_scaleChanged = false;
        m_client.m_resizeFullSize = false;
    }
    const bool formatChanged = m_client.m_formatChanged;
    m_client.m_formatChanged = false;
    if (m_client.m_clipPending) {
        hostmsg::WriteServerCutText(m_out, m_client.m_clipText);
        m_client.m_clipText.clear();
        m_client.m_clipPending = false;
    }
    if (formatChanged) {
        rfb::PaletteEntry palette[256];
        vncEncoder* enc = m_client.m_encoding.Encoder();
        if (!enc)
            HostLog(kHostLogDebugWarn, "GetPalette called but no encoder set\n");
        else if (enc->GetRemotePalette(palette))
            hostmsg::WriteColourMap(m_out, palette);
    }
    const bool sent = !m_client.m_requested.is_empty() && !m_client.m_awaitingEncodings && SendUpdate(m_out);
    if (m_out.length() > 0 && !m_client.m_connection->SendExact(m_out.data(), m_out.length())) {
        m_client.AbortSession();
        return;
    }
    if (sent) {
        ++m_updatesSent;
        m_client.m_requested.clear();
    }
}

bool vncUpdateSender::SendUpdate(rdr::OutStream& out)
{
    vncEncoder* enc = m_client.m_encoding.Encoder();
    if (!enc)
        return false;
    if (m_client.m_sizeChangePending && m_client.m_newFBSizeAllowed) {
        hostmsg::WriteUpdateHeader(out, 1);
        hostmsg::WriteNewFBSize(out, m_client.m_newWidth, m_client.m_newHeight);
        m_client.m_sizeChangePending = false;
        return true;
    }

    if (m_updatesSent == 1)
        m_client.m_cursorPending = true;
    else if (m_updatesSent > 1 && m_client.m_buffer->TakeCursorShapeChanged())
        m_client.m_cursorPending = true;
    if (!enc->IsXCursorSupported() && !enc->IsRichCursorSupported())
        m_client.m_cursorPending = false;
    if (!m_client.m_cursorShapeSent && !m_client.m_cursorPending && m_client.m_cursorMoved) {
        const rfb::Rect old = m_client.m_cursorRect.intersect(m_client.m_desktop->SharedRect());
        if (!old.is_empty())
            m_client.m_tracker.add_changed(rfb::Region(old));
        m_client.m_cursorRect = m_client.m_desktop->CursorRect();
        m_client.m_cursorMoved = false;
    }

    rfb::UpdateInfo info;
    m_client.m_tracker.get_update_clipped(info, m_client.m_requested);

    // Everything in the frame buffer's own (scaled) coordinates first, so the
    // count in the header is exact.
    const rfb::Rect shared = m_client.m_desktop->SharedRect();
    struct Copy {
        rfb::Rect dest, src;
    };
    std::vector<Copy> copies;
    std::vector<rfb::Rect> changedHost = info.changed;
    for (const rfb::Rect& r : info.copied) {
        const rfb::Rect d = r.intersect(shared);
        const rfb::Rect s = d.translate(info.copy_delta.negate());
        if (d.is_empty())
            continue;
        if (m_client.m_copyRectAllowed && m_client.m_scale == 1 && s.enclosed_by(shared))
            copies.push_back(Copy{d, s});
        else
            changedHost.push_back(d);
    }
    std::vector<rfb::Rect> cached;
    if (m_client.m_cacheInUse)
        cached = info.cached;
    else
        changedHost.insert(changedHost.end(), info.cached.begin(), info.cached.end());

    const FrameView back = m_client.m_buffer->BackView();
    const int n = m_client.m_scale;
    std::vector<rfb::Rect> changed;
    for (const rfb::Rect& r : changedHost) {
        const rfb::Rect c = rfb::Rect(r.left / n, r.top / n, (r.right + n - 1) / n, (r.bottom + n - 1) / n)
                                .intersect(back.bounds());
        if (!c.is_empty())
            changed.push_back(c);
    }

    uint32_t count = static_cast<uint32_t>(copies.size());
    count += m_client.m_cacheInUse ? (cached.size() > 5 ? 1u : static_cast<uint32_t>(cached.size())) : 0u;
    bool unknown = false;
    for (const rfb::Rect& r : changed) {
        const int coded = enc->NumCodedRects(r);
        if (coded <= 0)
            unknown = true;
        count += static_cast<uint32_t>(coded > 0 ? coded : 0);
    }
    if (m_client.m_cursorPending)
        ++count;
    if (count == 0 && !unknown)
        return false;
    if (count >= rfbproto::kUnknownRectCount) {
        if (enc->LastRectAllowed()) {
            unknown = true;
        } else {
            // Too many for the 16-bit count: one rectangle around them all
            // (found in one pass; uniting tens of thousands of rectangles
            // one by one takes quadratic time under the update lock).
            rfb::Rect all = changed.front();
            for (const rfb::Rect& r : changed)
                all = rfb::Rect(std::min(all.left, r.left), std::min(all.top, r.top), std::max(all.right, r.right),
                                std::max(all.bottom, r.bottom));
            count -= static_cast<uint32_t>(changed.size()) - 1;
            changed.assign(1, all);
        }
    }
    if (unknown && !enc->LastRectAllowed())
        throw rdr::Exception("encoder cannot count its rectangles for this viewer");

    hostmsg::WriteUpdateHeader(out, unknown ? rfbproto::kUnknownRectCount : static_cast<uint16_t>(count));
    if (m_client.m_cursorPending) {
        m_client.m_cursorPending = false;
        CursorImage cursor;
        m_client.m_cursorShapeSent = m_client.m_desktop->GetCursor(cursor) && enc->SendCursorShape(out, cursor);
        if (!m_client.m_cursorShapeSent && !enc->SendEmptyCursorShape(out))
            throw rdr::Exception("cursor shape could not be sent");
    }
    for (const Copy& c : copies) {
        const rfb::Rect d = ToViewer(c.dest), s = ToViewer(c.src);
        hostmsg::WriteCopyRect(out, d, s.left, s.top);
    }
    if (m_client.m_cacheInUse && !cached.empty()) {
        std::vector<rfb::Rect> viewerRects;
        for (const rfb::Rect& r : cached) {
            viewerRects.push_back(ToViewer(r));
            m_client.m_cacheBytes += r.area() * 4;
        }
        if (viewerRects.size() > 5) {
            if (!hostmsg::WriteCacheZip(out, viewerRects))
                throw rdr::Exception("CacheZip compression failed");
        } else {
            HostLog(kHostLogDebug, "******** Sending %d Cache Rects \r\n", static_cast<int>(viewerRects.size()));
            for (const rfb::Rect& r : viewerRects)
                hostmsg::WriteCacheRect(out, r);
        }
    }
    if (!changed.empty() && !back.data)
        throw rdr::Exception("no client back-buffer available in EncodeRect");
    for (const rfb::Rect& r : changed)
        enc->EncodeRect(back, out, r);
    if (unknown) {
        enc->EndOfUpdate(out);
        hostmsg::WriteLastRect(out);
    }
    return true;
}
