#include "Customer/session/vncClient.h"

#include "Customer/encode/HostLog.h"
#include "Customer/session/HostMessages.h"
#include "rfb/RfbProto.h"
#include "Customer/session/vncServer.h"
#include "rfb/Exception.h"

#include <omnithread.h>

#include <algorithm>
#include <exception>
#include <vector>

class vncClientThread : public omni_thread {
public:
    explicit vncClientThread(vncClient* client) : m_client(client) {}
    void Start() { start_undetached(); }

private:
    void* run_undetached(void*) override;
    vncClient* m_client;
};

class vncClientUpdateThread : public omni_thread {
public:
    explicit vncClientUpdateThread(vncClient* client) : m_client(client) {}
    void Start() { start_undetached(); }

private:
    void* run_undetached(void*) override;
    vncClient* m_client;
};

void* vncClientThread::run_undetached(void*)
{
    m_client->RunSession();
    return nullptr;
}

void* vncClientUpdateThread::run_undetached(void*)
{
    m_client->RunUpdates();
    return nullptr;
}

vncClient::vncClient(vncServer* server, HostConnection* connection, HostPlatform* platform)
    : m_server(server), m_connection(connection), m_platform(platform), m_doneLock(std::make_unique<omni_mutex>()),
      m_doneCond(std::make_unique<omni_condition>(m_doneLock.get()))
{
}

vncClient::~vncClient()
{
    HostLog(kHostLogDebugInfo, "~vncClient() executing...\n");
    StopSession();
    JoinClientThread(0);
}

int vncClient::Init(int, int)
{
    m_thread = new vncClientThread(this);
    m_thread->Start();
    return 1;
}

bool vncClient::JoinClientThread(unsigned timeoutMs)
{
    if (!m_thread)
        return true;
    bool inTime = true;
    {
        omni_mutex_lock hold(*m_doneLock);
        unsigned long s, ns;
        omni_thread::get_time(&s, &ns, timeoutMs / 1000, (timeoutMs % 1000) * 1000000ul);
        while (!m_threadDone.load() && inTime)
            inTime = m_doneCond->timedwait(s, ns) != 0 || m_threadDone.load();
    }
    // The connection is stopped by now, so the thread is on its way out.
    m_thread->join(nullptr);
    m_thread = nullptr;
    return inTime;
}

void vncClient::SetClientBuffer(vncClientBuffer* buffer)
{
    m_buffer = buffer;
    m_encoding.SetBuffer(buffer);
    omni_mutex_lock hold(buffer->UpdateLock());
    m_encoding.EnsureEncoder();
}

omni_mutex& vncClient::GetUpdateLock()
{
    return m_buffer->UpdateLock();
}

bool vncClient::UpdateWanted()
{
    if (!m_buffer)
        return false;
    omni_mutex_lock hold(GetUpdateLock());
    return !m_tracker.is_empty();
}

bool vncClient::TakeKeyEventFlag()
{
    return m_keyEvent.exchange(false);
}

void vncClient::MarkCursorMoved()
{
    if (!m_buffer)
        return;
    omni_mutex_lock hold(GetUpdateLock());
    if (!m_cursorMoved && !m_cursorShapeSent)
        m_cursorMoved = true;
}

void vncClient::UpdateClipText(const std::string& text)
{
    if (!m_buffer)
        return;
    omni_mutex_lock hold(GetUpdateLock());
    m_clipText = text;
    m_clipPending = true;
    TriggerUpdateLocked();
}

void vncClient::SetFormatChanged()
{
    if (!m_buffer)
        return;
    omni_mutex_lock hold(GetUpdateLock());
    m_formatChanged = true;
}

int vncClient::UpdateLocalFormat()
{
    PauseUpdates();
    HostLog(kHostLogDebugInfo, "updating local pixel format\n");
    int ok;
    {
        omni_mutex_lock hold(GetUpdateLock());
        ok = m_encoding.RefreshLocalFormat();
    }
    ResumeUpdates();
    return ok;
}

int vncClient::SetNewDesktopSize(int width, int height, bool reselect)
{
    if (!m_buffer)
        return 0;
    {
        // Changed by the client thread's SetEncodings; this runs on the desktop's.
        omni_mutex_lock hold(GetUpdateLock());
        if (!m_newFBSizeAllowed)
            return 0;
    }
    PauseUpdates();
    HostLog(kHostLogDebugInfo, "updating local pixel format and buffer size\n");
    int ok;
    {
        omni_mutex_lock hold(GetUpdateLock());
        ok = m_encoding.RefreshLocalFormat();
        m_formatChanged = true;
        if (ok && reselect)
            ok = m_encoding.SetEncoding(m_encoding.Encoding(), true);
        m_newWidth = width;
        m_newHeight = height;
        m_sizeChangePending = true;
    }
    ResumeUpdates();
    return ok;
}

void vncClient::SetCaptureOrigin(int x, int y)
{
    m_originX = x;
    m_originY = y;
    m_encoding.SetCaptureOrigin(x, y);
}

void vncClient::SetCaptureOffset(int x, int y, bool absolute)
{
    m_offsetX = x;
    m_offsetY = y;
    m_absoluteMouse = absolute;
}

bool vncClient::IsZlibFamilyEncoding() const
{
    const int e = m_encoding.Encoding();
    return e == 16 || e == 7 || e == 6;
}

void vncClient::ClearUpdates()
{
    if (!m_buffer)
        return;
    omni_mutex_lock hold(GetUpdateLock());
    m_tracker.clear();
}

// Pausing and resuming wait until the update sender has acknowledged, so
// once PauseUpdates returns no update is being written.
void vncClient::PauseUpdates()
{
    if (!m_buffer)
        return;
    omni_mutex_lock hold(GetUpdateLock());
    if (++m_pauseCount == 1 && m_updateThread && m_updateActive) {
        m_updateEnabled = false;
        m_ackPending = true;
        m_trigger->signal();
        while (m_ackPending && m_updateActive)
            m_sync->wait();
        HostLog(kHostLogDebug, "enable/disable synced\n");
    }
}

void vncClient::ResumeUpdates()
{
    if (!m_buffer)
        return;
    omni_mutex_lock hold(GetUpdateLock());
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

void vncClient::TriggerUpdate()
{
    if (!m_buffer)
        return;
    omni_mutex_lock hold(GetUpdateLock());
    TriggerUpdateLocked();
}

void vncClient::TriggerUpdateLocked()
{
    if (!m_updateThread) {
        m_trigger = std::make_unique<omni_condition>(&GetUpdateLock());
        m_sync = std::make_unique<omni_condition>(&GetUpdateLock());
        m_updateActive = true;
        m_updateEnabled = m_pauseCount == 0;
        m_updateThread = new vncClientUpdateThread(this);
        m_updateThread->Start();
    }
    if (m_pauseCount == 0)
        m_trigger->signal();
}

void vncClient::AbortSession()
{
    StopSession();
    m_connection->Shutdown();
}

// ---------------------------------------------------------------------------
// Client thread

// Nothing thrown here may leave the thread: an exception escaping an
// omni_thread ends the process, and the teardown (which joins the update
// sender) must run whatever happened.
void vncClient::RunSession()
{
    bool setUp = false;
    try {
        setUp = SetUp();
        if (setUp) {
            ViewerMessageReader reader(*m_connection);
            while (m_running.load()) {
                if (!CheckInputDesktop())
                    continue;
                ViewerMessage msg;
                const ReadStatus status = reader.Read(msg);
                if (status != ReadStatus::Ok || !Execute(msg))
                    StopSession();
            }
        }
    } catch (const rdr::Exception& e) {
        HostLog(kHostLogError, "session ended: %s\n", e.str());
        AbortSession();
    } catch (const std::exception& e) {
        HostLog(kHostLogError, "session ended: %s\n", e.what());
        AbortSession();
    }
    TearDown(setUp);
}

bool vncClient::SetUp()
{
    HostLog(kHostLogInfo, "client connected\n");
    m_platform->RememberThreadDesktop();
    if (!m_connection->SetTimeout(30000))
        HostLog(kHostLogError, "failed to set socket timeout(%d)\n", 0);
    m_connection->SetTimeout(static_cast<unsigned>(m_server->GetSocketTimeout()) * 1000u);
    m_connectTime = m_platform->TickCount();
    if (!m_server->StartDesktop())
        return false;
    m_desktop = m_server->GetDesktop();
    SetClientBuffer(&m_desktop->Buffer());
    {
        omni_mutex_lock hold(GetUpdateLock());
        m_scale = m_server->GetDefaultScale();
        if (!m_buffer->SetScale(m_scale))
            return false;
    }
    ResumeUpdates();
    {
        omni_mutex_lock hold(GetUpdateLock());
        m_tracker.add_changed(rfb::Region(m_desktop->ScreenRect()));
    }
    if (m_keyboardEnabled)
        m_desktop->ReleaseLockKeys();
    m_running.store(true);
    m_platform->SignalServerEvent();
    m_platform->RaiseThreadPriority();
    return true;
}

void vncClient::TearDown(bool wasSetUp)
{
    m_platform->RestoreThreadDesktop();
    HostLog(kHostLogInfo, "Technician disconnected.\n");
    m_running.store(false);
    PauseUpdates();
    if (m_updateThread) {
        {
            omni_mutex_lock hold(GetUpdateLock());
            m_updateActive = false;
            m_trigger->signal();
        }
        m_updateThread->join(nullptr);
        m_updateThread = nullptr;
    }
    {
        omni_mutex_lock hold(*m_doneLock);
        m_threadDone.store(true);
        m_doneCond->broadcast();
    }
    // Teardown done: the second signal of the event, given only once the
    // client counts as finished, so whoever wakes on it finds the session
    // ended. A session that never started does not signal, so the waiter
    // sees the failure.
    if (wasSetUp)
        m_platform->SignalServerEvent();
}

// Returns false when this pass must not read (the input desktop is out of
// reach); messages 77 and 76 tell the viewer when that changes.
bool vncClient::CheckInputDesktop()
{
    std::atomic<bool>& lost = vncServer::InputDesktopLost();
    const HostPlatform::InputDesktop where = m_platform->InputDesktopSelected();
    // A desktop the process may not even open (access denied) is not waited
    // for: the viewer's messages are still read and executed.
    if (where == HostPlatform::InputDesktop::AccessDenied)
        return true;
    if (where == HostPlatform::InputDesktop::Elsewhere && !m_platform->AttachToInputDesktop()) {
        bool first = false;
        {
            omni_mutex_lock hold(m_server->InputDesktopLock());
            if (!lost.load()) {
                lost.store(true);
                first = true;
                const uint8_t msg = rfbproto::kInputDesktopLost;
                SendSmall(&msg, 1);
            }
        }
        omni_thread::sleep(0, (first ? 30 : 300) * 1000000ul);
        return false;
    }
    if (lost.load()) {
        omni_mutex_lock hold(m_server->InputDesktopLock());
        if (lost.exchange(false)) {
            const uint8_t msg = rfbproto::kInputDesktopRestored;
            SendSmall(&msg, 1);
            m_server->SetDesktopRestored();
        }
    }
    return true;
}

bool vncClient::SendSmall(const void* data, size_t n)
{
    omni_mutex_lock hold(GetUpdateLock());
    if (m_connection->SendExact(data, n))
        return true;
    AbortSession();
    return false;
}

bool vncClient::Execute(const ViewerMessage& msg)
{
    switch (msg.type) {
    case rfbproto::kSetPixelFormat:
        return OnSetPixelFormat(msg);
    case rfbproto::kSetEncodings:
        return OnSetEncodings(msg);
    case rfbproto::kFramebufferUpdateRequest:
        return OnUpdateRequest(msg);
    case rfbproto::kKeyEvent:
        if (m_keyboardEnabled) {
            m_desktop->InjectKey(msg.keysym, msg.down);
            m_keyEvent.store(true);
        }
        return true;
    case rfbproto::kPointerEvent:
        if (m_pointerEnabled)
            OnPointer(msg);
        return true;
    case rfbproto::kClientCutText:
        m_server->UpdateLocalClipText(msg.text);
        return true;
    case rfbproto::kSetScale:
    case rfbproto::kSetScaleFullSize:
        return OnSetScale(msg);
    case rfbproto::kBlankScreen:
        if (m_keyboardEnabled && msg.value <= 1 && !m_desktop->BlankScreen(msg.value == 1))
            HostLog(kHostLogWarn, "blank screen %d not carried out\n", msg.value);
        return true;
    case rfbproto::kSetSW:
        return OnSetSW(msg);
    case rfbproto::kDisconnect:
        HostLog(kHostLogInfo, "rstDisconnect message received.\n");
        return false;
    case rfbproto::kStartRequest:
        return OnStartRequest(msg);
    default:
        return true;
    }
}

bool vncClient::OnSetPixelFormat(const ViewerMessage& msg)
{
    PauseUpdates();
    bool ok;
    {
        omni_mutex_lock hold(GetUpdateLock());
        m_buffer->SetGrey(msg.grey);
        ok = m_encoding.SetClientFormat(msg.format) != 0;
        m_formatChanged = true;
    }
    ResumeUpdates();
    if (!ok)
        HostLog(kHostLogError, "client pixel format refused: %d bits per pixel\n", msg.format.bitsPerPixel);
    return ok;
}

bool vncClient::OnSetEncodings(const ViewerMessage& msg)
{
    PauseUpdates();
    const bool ok = ApplyEncodings(msg);
    ResumeUpdates();
    return ok;
}

bool vncClient::ApplyEncodings(const ViewerMessage& msg)
{
    omni_mutex_lock hold(GetUpdateLock());
    EncoderSettings& s = m_encoding.Settings();
    m_encoding.ResetSettings();
    m_cacheInUse = false;
    m_buffer->SetCacheEnabled(false);
    m_cursorShapeSent = false;
    m_cursorPending = false;
    m_server->SetCursorShapeUpdates(false);
    m_tracker.enable_copyrect(false);
    m_copyRectAllowed = false;
    m_newFBSizeAllowed = false;

    bool accepted = false;
    for (const int32_t e : msg.encodings) {
        if (e == rfbproto::kEncCopyRect) {
            m_copyRectAllowed = true;
            m_tracker.enable_copyrect(true);
        } else if (e == rfbproto::kEncCacheEnable) {
            m_cacheInUse = true;
            s.cache = true;
            m_buffer->SetCacheEnabled(true);
            if (!m_buffer->AllocCacheBuffer()) {
                m_cacheInUse = false;
                m_buffer->SetCacheEnabled(false);
            }
            HostLog(kHostLogDebugInfo, "Cache protocol extension enabled\n");
        } else if (e == rfbproto::kEncXorEnable) {
            s.xorEnabled = true;
            HostLog(kHostLogDebugInfo, "XOR protocol extension enabled\n");
        } else if (e >= rfbproto::kEncCompressLevel0 && e <= rfbproto::kEncCompressLevel9) {
            m_encoding.SetCompressLevel(e - rfbproto::kEncCompressLevel0);
            HostLog(kHostLogDebugInfo, "compression level requested: %d\n", s.compressLevel);
        } else if (e >= rfbproto::kEncQualityLevel0 && e <= rfbproto::kEncQualityLevel9) {
            m_encoding.SetQualityLevel(e - rfbproto::kEncQualityLevel0);
            HostLog(kHostLogDebugInfo, "image quality level requested: %d\n", s.qualityLevel);
        } else if (e == rfbproto::kEncLastRect) {
            s.lastRect = true;
            HostLog(kHostLogDebugInfo, "LastRect protocol extension enabled\n");
        } else if (e == rfbproto::kEncXCursor) {
            s.xCursor = true;
            m_server->SetCursorShapeUpdates(true);
            HostLog(kHostLogDebugInfo, "X-style cursor shape updates enabled\n");
        } else if (e == rfbproto::kEncRichCursor) {
            s.richCursor = true;
            m_server->SetCursorShapeUpdates(true);
            HostLog(kHostLogDebugInfo, "Full-color cursor shape updates enabled\n");
        } else if (e == rfbproto::kEncNewFBSize) {
            m_newFBSizeAllowed = true;
        } else if (e >= 0 && e <= 16) {
            if (e == 16)
                s.zrleAnnounced = true;
            if (e == 7)
                s.tightAnnounced = true;
            if (!accepted && e != 3 && (e < 10 || e > 15))
                accepted = m_encoding.SetEncoding(e, false) != 0;
        }
    }
    bool ok = true;
    if (!accepted) {
        HostLog(kHostLogDebugInfo, "defaulting to raw encoder\n");
        if (!m_encoding.SetEncoding(0, false)) {
            HostLog(kHostLogError, "failed to select raw encoder!\n");
            ok = false;
        }
    }
    // Settings apply wherever they stood in the list, before or after the
    // encoding that was chosen.
    m_encoding.ApplySettings();
    m_buffer->SetEncoding9(m_encoding.Encoding() == 9);
    m_encodingsReceived.store(true);
    return ok;
}

bool vncClient::OnUpdateRequest(const ViewerMessage& msg)
{
    int x = msg.x, y = msg.y, w = msg.w, h = msg.h;
    if (w == 0 || h == 0) {
        const rfb::Rect screen = ClientScreen();
        x = 0;
        y = 0;
        w = screen.width();
        h = screen.height();
    }
    const int n = m_scale;
    const rfb::Rect asked((x + m_originX) * n, (y + m_originY) * n, (x + m_originX + w) * n, (y + m_originY + h) * n);
    if (asked.is_empty()) {
        HostLog(kHostLogError, "FATAL! client update region is empty!\n");
        return false;
    }
    // Only the part on the screen can be sent. A request wholly off it (a
    // viewer that has not caught up with a resize) asks for nothing; the
    // message was read whole, so the stream is still in step.
    const rfb::Rect r = asked.intersect(m_desktop->ScreenRect());
    if (r.is_empty()) {
        HostLog(kHostLogWarn, "update request %d,%d %dx%d outside the screen dropped\n", msg.x, msg.y, msg.w, msg.h);
        return true;
    }
    omni_mutex_lock hold(GetUpdateLock());
    const rfb::Region region(r);
    m_requested.assign_union(region);
    if (!msg.incremental) {
        m_tracker.add_changed(region);
        m_buffer->MarkStale(r);
    }
    m_desktop->Poll(region, m_tracker);
    TriggerUpdateLocked();
    return true;
}

void vncClient::OnPointer(const ViewerMessage& msg)
{
    const rfb::Rect screen = m_desktop->ScreenRect();
    int x = (msg.x + m_offsetX + m_originX) * m_scale;
    int y = (msg.y + m_offsetY + m_originY) * m_scale;
    x = x < screen.left ? screen.left : x >= screen.right ? screen.right - 1 : x;
    y = y < screen.top ? screen.top : y >= screen.bottom ? screen.bottom - 1 : y;
    const EncoderSettings& s = m_encoding.Settings();
    const PointerInput input =
        BuildPointerInput(m_pointer, msg.buttonMask, x, y, m_desktop->SwapButtons(), s.tightAnnounced && !s.xorEnabled);
    m_desktop->InjectPointer(input, m_absoluteMouse);
    m_pointer.mask = msg.buttonMask;
    m_pointer.x = x;
    m_pointer.y = y;
    m_keyEvent.store(true);
}

bool vncClient::OnSetScale(const ViewerMessage& msg)
{
    omni_mutex_lock hold(GetUpdateLock());
    if (msg.type == rfbproto::kSetScaleFullSize)
        m_resizeFullSize = true;
    if (msg.value < 1 || msg.value > 9)
        return true;
    if (!m_buffer->SetScale(msg.value))
        return false;
    m_scale = msg.value;
    m_scaleChanged = true;
    const rfb::Rect screen = m_desktop->ScreenRect();
    m_tracker.add_changed(rfb::Region(screen));
    m_buffer->MarkStale(screen);
    TriggerUpdateLocked();
    return true;
}

bool vncClient::OnSetSW(const ViewerMessage& msg)
{
    HostLog(kHostLogInfo, "rfbSetSW received.\n");
    const uint8_t refused = rfbproto::kSetSWRefused;
    if (m_platform->OsClass() == 3 || m_platform->MonitorCount() <= 1)
        return SendSmall(&refused, 1);
    if ((msg.x < 5 && msg.y < 5) || (msg.x == 6 && msg.y == 6)) {
        if (!m_desktop->SetShareMode(msg.x == 6 ? 6 : 1))
            return SendSmall(&refused, 1);
        return true;
    }
    m_desktop->ShareMonitorAt((msg.x + m_offsetX + m_originX) * m_scale, (msg.y + m_offsetY + m_originY) * m_scale);
    return true;
}

bool vncClient::OnStartRequest(const ViewerMessage& msg)
{
    rdr::MemOutStream reply(rfbproto::kStartReplyLength);
    {
        omni_mutex_lock hold(GetUpdateLock());
        const rfb::Rect shared = m_desktop->SharedRect();
        hostmsg::WriteStartReply(reply, msg.value, shared.width() / m_scale, shared.height() / m_scale,
                                 m_buffer->Screen().format);
    }
    if (!SendSmall(reply.data(), reply.length())) {
        HostLog(kHostLogError, "Failed to send the server init message.\n");
        return false;
    }
    return true;
}

rfb::Rect vncClient::ClientScreen() const
{
    const rfb::Rect s = m_desktop->ScreenRect();
    return rfb::Rect(0, 0, s.right / m_scale, s.bottom / m_scale);
}

rfb::Rect vncClient::ToViewer(const rfb::Rect& host) const
{
    const int n = m_scale;
    return rfb::Rect(host.left / n - m_originX, host.top / n - m_originY, host.right / n - m_originX,
                     host.bottom / n - m_originY);
}

// ---------------------------------------------------------------------------
// Update sender

void vncClient::RunUpdates()
{
    omni_mutex& lock = GetUpdateLock();
    lock.lock();
    for (;;) {
        while (m_updateActive) {
            if (m_ackPending) {
                m_ackPending = false;
                m_sync->broadcast();
            }
            if (m_updateEnabled && m_running.load() && WantUpdate())
                break;
            m_trigger->wait();
        }
        if (!m_updateActive)
            break;
        try {
            SendPass();
        } catch (const rdr::Exception& e) {
            HostLog(kHostLogError, "update abandoned: %s\n", e.str());
            AbortSession();
        } catch (const std::exception& e) {
            HostLog(kHostLogError, "update abandoned: %s\n", e.what());
            AbortSession();
        }
        lock.unlock();
        omni_thread::yield();
        lock.lock();
    }
    m_ackPending = false;
    m_sync->broadcast();
    lock.unlock();
}

bool vncClient::WantUpdate()
{
    if (m_clipPending)
        return true;
    if (m_requested.is_empty())
        return false;
    if (m_sizeChangePending && m_newFBSizeAllowed)
        return true;
    return !m_tracker.get_changed().intersect(m_requested).is_empty() ||
           !m_tracker.get_copied().intersect(m_requested).is_empty() ||
           !m_tracker.get_cached().intersect(m_requested).is_empty();
}

// One pass: resize message, clipboard text, colour map and the update are
// built in memory and sent as one write, so a failure never leaves part of
// a message on the wire.
void vncClient::SendPass()
{
    m_out.clear();
    if (m_scaleChanged) {
        const rfb::Rect full = m_desktop->ScreenRect();
        const rfb::Rect size = m_server->GetSingleWindowMode() ? m_desktop->SharedRect() : full;
        const int w = size.width() / m_scale, h = size.height() / m_scale;
        if (m_resizeFullSize)
            hostmsg::WriteResizeFullSize(m_out, full.right, full.bottom, w, h);
        else
            hostmsg::WriteResize(m_out, w, h);
        m_scaleChanged = false;
        m_resizeFullSize = false;
    }
    const bool formatChanged = m_formatChanged;
    m_formatChanged = false;
    if (m_clipPending) {
        hostmsg::WriteServerCutText(m_out, m_clipText);
        m_clipText.clear();
        m_clipPending = false;
    }
    if (formatChanged) {
        rfb::PaletteEntry palette[256];
        vncEncoder* enc = m_encoding.Encoder();
        if (!enc)
            HostLog(kHostLogDebugWarn, "GetPalette called but no encoder set\n");
        else if (enc->GetRemotePalette(palette))
            hostmsg::WriteColourMap(m_out, palette);
    }
    const bool sent = !m_requested.is_empty() && SendUpdate(m_out);
    if (m_out.length() > 0 && !m_connection->SendExact(m_out.data(), m_out.length())) {
        AbortSession();
        return;
    }
    if (sent) {
        ++m_updatesSent;
        m_requested.clear();
    }
}

bool vncClient::SendUpdate(rdr::OutStream& out)
{
    vncEncoder* enc = m_encoding.Encoder();
    if (!enc)
        return false;
    if (m_sizeChangePending && m_newFBSizeAllowed) {
        hostmsg::WriteUpdateHeader(out, 1);
        hostmsg::WriteNewFBSize(out, m_newWidth, m_newHeight);
        m_sizeChangePending = false;
        return true;
    }

    if (m_updatesSent == 1)
        m_cursorPending = true;
    else if (m_updatesSent > 1 && m_buffer->TakeCursorShapeChanged())
        m_cursorPending = true;
    if (!enc->IsXCursorSupported() && !enc->IsRichCursorSupported())
        m_cursorPending = false;
    const rfb::Rect screen = m_desktop->ScreenRect();
    if (!m_cursorShapeSent && !m_cursorPending && m_cursorMoved) {
        const rfb::Rect old = m_cursorRect.intersect(screen);
        if (!old.is_empty())
            m_tracker.add_changed(rfb::Region(old));
        m_cursorRect = m_desktop->CursorRect();
        m_cursorMoved = false;
    }

    rfb::UpdateInfo info;
    m_tracker.get_update_clipped(info, m_requested);

    // Everything in the frame buffer's own (scaled) coordinates first, so the
    // count in the header is exact.
    const rfb::Rect shared = m_desktop->SharedRect();
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
        if (m_copyRectAllowed && m_scale == 1 && s.enclosed_by(shared))
            copies.push_back(Copy{d, s});
        else
            changedHost.push_back(d);
    }
    std::vector<rfb::Rect> cached;
    if (m_cacheInUse)
        cached = info.cached;
    else
        changedHost.insert(changedHost.end(), info.cached.begin(), info.cached.end());

    const FrameView back = m_buffer->BackView();
    const int n = m_scale;
    std::vector<rfb::Rect> changed;
    for (const rfb::Rect& r : changedHost) {
        const rfb::Rect c = rfb::Rect(r.left / n, r.top / n, (r.right + n - 1) / n, (r.bottom + n - 1) / n)
                                .intersect(back.bounds());
        if (!c.is_empty())
            changed.push_back(c);
    }

    uint32_t count = static_cast<uint32_t>(copies.size());
    count += m_cacheInUse ? (cached.size() > 5 ? 1u : static_cast<uint32_t>(cached.size())) : 0u;
    bool unknown = false;
    for (const rfb::Rect& r : changed) {
        const int coded = enc->NumCodedRects(r);
        if (coded <= 0)
            unknown = true;
        count += static_cast<uint32_t>(coded > 0 ? coded : 0);
    }
    if (m_cursorPending)
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
    if (m_cursorPending) {
        m_cursorPending = false;
        CursorImage cursor;
        m_cursorShapeSent = m_desktop->GetCursor(cursor) && enc->SendCursorShape(out, cursor);
        if (!m_cursorShapeSent && !enc->SendEmptyCursorShape(out))
            throw rdr::Exception("cursor shape could not be sent");
    }
    for (const Copy& c : copies) {
        const rfb::Rect d = ToViewer(c.dest), s = ToViewer(c.src);
        hostmsg::WriteCopyRect(out, d, s.left, s.top);
    }
    if (m_cacheInUse && !cached.empty()) {
        std::vector<rfb::Rect> viewerRects;
        for (const rfb::Rect& r : cached) {
            viewerRects.push_back(ToViewer(r));
            m_cacheBytes += r.area() * 4;
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
