#include "Customer/session/vncClient.h"

#include "Customer/encode/HostLog.h"
#include "Customer/session/HostMessages.h"
#include "rfb/RfbProto.h"
#include "Customer/session/vncServer.h"
#include "rfb/Exception.h"

#include <omnithread.h>

#include <exception>

class vncClientThread : public omni_thread {
public:
    explicit vncClientThread(vncClient* client) : m_client(client) {}
    void Start() { start_undetached(); }

private:
    void* run_undetached(void*) override;
    vncClient* m_client;
};

// The body catches what it can handle itself; this is the last guard,
// since anything leaving an omni_thread ends the process.
void* vncClientThread::run_undetached(void*)
{
    try {
        m_client->RunSession();
    } catch (...) {
        HostLog(kHostLogError, "client thread ended: unknown exception\n");
    }
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
    if (!inTime)
        return false;
    // Past its done flag the thread only returns: this join is immediate.
    m_thread->join(nullptr);
    m_thread = nullptr;
    return true;
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
    return UpdateWantedLocked();
}

// What was asked for, not what the tracker holds: once an update has emptied
// the tracker the desktop must still look for the next changes.
bool vncClient::UpdateWantedLocked()
{
    return m_running.load() && !m_requested.is_empty();
}

void vncClient::RecordRequestLocked(const rfb::Rect& r, bool incremental)
{
    m_requested.assign_union(rfb::Region(r));
    if (!incremental) {
        // Read again and reported whatever it holds.
        m_buffer->MarkStale(r);
        m_desktop->QueueRect(r);
    }
    m_desktop->TriggerUpdate();
    TriggerUpdateLocked();
}

void vncClient::NewDesktopSize(int width, int height)
{
    if (!SetNewDesktopSize(width, height, true)) {
        HostLog(kHostLogError, "Unable to set new desktop size\n");
        StopSession();
    }
}

void vncClient::NewSharedArea(const rfb::Rect& area, bool single, bool sizeChanged)
{
    if (!m_buffer)
        return;
    // Paused, the sender sends nothing between the new origin and the new
    // size: the viewer never gets a rectangle of the new area in a frame of
    // the old size.
    PauseUpdates();
    {
        omni_mutex_lock hold(GetUpdateLock());
        m_tracker.clear();
        SetCaptureOrigin(area.left / m_scale, area.top / m_scale);
        m_server->SetSingleWindowMode(single);
    }
    if (sizeChanged)
        NewDesktopSize(area.width() / m_scale, area.height() / m_scale);
    ResumeUpdates();
}

void vncClient::ReportInputDesktop(bool lostNow)
{
    std::atomic<bool>& lost = vncServer::InputDesktopLost();
    omni_mutex_lock hold(m_server->InputDesktopLock());
    if (lost.load() == lostNow)
        return;
    lost.store(lostNow);
    const uint8_t msg = lostNow ? rfbproto::kInputDesktopLost : rfbproto::kInputDesktopRestored;
    SendSmall(&msg, 1);
    if (!lostNow)
        m_server->SetDesktopRestored();
}

void vncClient::RequestWholeScreen()
{
    // m_running is set only once SetUp has the desktop and the buffer. The
    // pump waits for the viewer's encodings, which follow its pixel format:
    // a picture sent before them would be in a format the viewer does not
    // read.
    if (!m_running.load() || !m_encodingsReceived.load())
        return;
    omni_mutex_lock hold(GetUpdateLock());
    const rfb::Rect r = m_desktop->SharedRect().intersect(m_desktop->ScreenRect());
    if (r.is_empty())
        return;
    RecordRequestLocked(r, true);
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

void vncClient::PauseUpdates()
{
    if (m_buffer)
        m_sender.Pause();
}

void vncClient::ResumeUpdates()
{
    if (m_buffer)
        m_sender.Resume();
}

void vncClient::TriggerUpdate()
{
    if (!m_buffer)
        return;
    omni_mutex_lock hold(GetUpdateLock());
    m_sender.Trigger();
}

void vncClient::TriggerUpdateLocked()
{
    m_sender.Trigger();
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
    } catch (...) {
        // omni_thread_fatal and anything else: the session ends, not the process.
        HostLog(kHostLogError, "session ended: unknown exception\n");
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
    m_desktop->Attach(this);
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
    // The desktop thread reports to this client: it ends first.
    if (m_desktop)
        m_desktop->Stop();
    PauseUpdates();
    if (m_buffer)
        m_sender.Stop();
    // No signal of the event here: it is a start signal only, and one set
    // now would answer the next session's start.
    HostLog(kHostLogDebugInfo, "session %s ended\n", wasSetUp ? "set up" : "never set up");
    omni_mutex_lock hold(*m_doneLock);
    m_threadDone.store(true);
    m_doneCond->broadcast();
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
        const bool first = !lost.load();
        ReportInputDesktop(true);
        omni_thread::sleep(0, (first ? 30 : 300) * 1000000ul);
        return false;
    }
    if (lost.load())
        ReportInputDesktop(false);
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
    // Checked on every message, the host's own update requests included, so
    // what the holder left pressed goes up soon after control is taken back.
    const bool control = m_server->ControlGiven();
    if (m_controlWasGiven && !control)
        ReleaseHeldInput();
    m_controlWasGiven = control;
    switch (msg.type) {
    case rfbproto::kSetPixelFormat:
        return OnSetPixelFormat(msg);
    case rfbproto::kSetEncodings:
        return OnSetEncodings(msg);
    case rfbproto::kFramebufferUpdateRequest:
        return OnUpdateRequest(msg);
    case rfbproto::kKeyEvent:
        if (m_keyboardEnabled && control) {
            m_desktop->InjectKey(msg.keysym, msg.down);
            m_keyEvent.store(true);
        }
        return true;
    case rfbproto::kPointerEvent:
        if (m_pointerEnabled && control)
            OnPointer(msg);
        return true;
    case rfbproto::kClientCutText:
        m_server->UpdateLocalClipText(msg.text);
        return true;
    case rfbproto::kSetScale:
    case rfbproto::kSetScaleFullSize:
        return OnSetScale(msg);
    case rfbproto::kBlankScreen:
        if (m_keyboardEnabled && control && msg.value <= 1 && !m_desktop->BlankScreen(msg.value == 1))
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

void vncClient::ReleaseHeldInput()
{
    m_desktop->ReleaseHeldKeys();
    if (m_pointer.mask & 7) {
        const PointerInput up = BuildPointerInput(m_pointer, 0, m_pointer.x, m_pointer.y, m_desktop->SwapButtons(), true);
        m_desktop->InjectPointer(up, m_absoluteMouse);
    }
    m_pointer.mask = 0;
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
    m_awaitingEncodings = false;
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
    const rfb::Rect r = asked.intersect(m_desktop->SharedRect().intersect(m_desktop->ScreenRect()));
    if (r.is_empty()) {
        HostLog(kHostLogWarn, "update request %d,%d %dx%d outside the screen dropped\n", msg.x, msg.y, msg.w, msg.h);
        return true;
    }
    omni_mutex_lock hold(GetUpdateLock());
    RecordRequestLocked(r, msg.incremental);
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
    // The scaled frame is made afresh from the screen by the next cycle.
    const rfb::Rect screen = m_desktop->ScreenRect();
    m_buffer->MarkStale(screen);
    m_desktop->QueueRect(screen);
    m_desktop->TriggerUpdate();
    return true;
}

bool vncClient::OnSetSW(const ViewerMessage& msg)
{
    HostLog(kHostLogInfo, "rfbSetSW received.\n");
    const uint8_t refused = rfbproto::kSetSWRefused;
    if (m_platform->OsClass() == 3 || m_platform->MonitorCount() <= 1)
        return SendSmall(&refused, 1);
    bool sizeAllowed;
    {
        omni_mutex_lock hold(GetUpdateLock());
        sizeAllowed = m_newFBSizeAllowed;
    }
    // A shared area of another size reaches the viewer as a new frame size;
    // a viewer that cannot take one keeps the whole screen.
    if (!sizeAllowed)
        return SendSmall(&refused, 1);
    const rfb::Point at((msg.x + m_offsetX + m_originX) * m_scale, (msg.y + m_offsetY + m_originY) * m_scale);
    if (m_desktop->SetSW(msg.x, msg.y, at) != 0)
        return SendSmall(&refused, 1);
    return true;
}

bool vncClient::OnStartRequest(const ViewerMessage& msg)
{
    rdr::MemOutStream reply(rfbproto::kStartReplyLength);
    {
        omni_mutex_lock hold(GetUpdateLock());
        m_encoding.NewViewing();
        m_awaitingEncodings = true;
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
