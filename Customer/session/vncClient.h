// The server's side of the one viewer: what it asked for (requested region,
// encodings, format, scale), what changed on the host (its update tracker),
// and the client thread that executes the viewer's messages. The update
// sender (vncUpdateSender.h) answers with framebuffer updates.
#pragma once

#include "Customer/session/DesktopClient.h"
#include "Customer/session/HostConnection.h"
#include "Customer/session/HostDesktop.h"
#include "Customer/input/PointerInput.h"
#include "Customer/session/ViewerMessages.h"
#include "Customer/session/vncClientEncoding.h"
#include "Customer/session/vncUpdateSender.h"
#include "rfb/SimpleUpdateTracker.h"

#include <atomic>
#include <memory>
#include <string>

class vncServer;
class vncClientThread;
class omni_mutex;
class omni_condition;

class vncClient : public DesktopClient {
public:
    vncClient(vncServer* server, HostConnection* connection, HostPlatform* platform);
    ~vncClient() override;
    vncClient(const vncClient&) = delete;
    vncClient& operator=(const vncClient&) = delete;

    // Starts the client thread.
    int Init(int a, int b);
    // Ends the session: the client thread leaves its loop, the update
    // sender stops. Safe from any thread, any number of times.
    void StopSession() { m_running.store(false); }
    bool IsRunning() const { return m_running.load(); }
    // The client thread has finished its teardown.
    bool HasFinished() const { return m_threadDone.load(); }
    // Waits up to timeoutMs for the client thread to finish and joins it;
    // false (not joined) when it has not finished by then.
    bool JoinClientThread(unsigned timeoutMs);
    // An incremental update request for the whole screen from the host
    // itself (its update pump); nothing before the session is set up.
    void RequestWholeScreen();

    void SetClientBuffer(vncClientBuffer* buffer);
    omni_mutex& GetUpdateLock();
    // The viewer has asked for something not yet sent.
    bool UpdateWanted();
    bool TakeKeyEventFlag();
    void MarkCursorMoved();
    void UpdateClipText(const std::string& text);
    void SetFormatChanged();
    int UpdateLocalFormat();
    int SetNewDesktopSize(int width, int height, bool reselect);
    void SetCaptureOrigin(int x, int y);
    void SetCaptureOffset(int x, int y, bool absolute);
    void SetKeyboardEnabled(bool on) { m_keyboardEnabled = on; }
    void SetPointerEnabled(bool on) { m_pointerEnabled = on; }
    void SetFlagC(int v) { m_flagC = v; }
    int GetFlagC() const { return m_flagC; }
    bool EncodingsReceived() const { return m_encodingsReceived.load(); }
    bool IsZlibFamilyEncoding() const;
    bool IsEncoding9() const { return m_encoding.Encoding() == 9; }
    rfb::SimpleUpdateTracker& GetUpdateTracker() { return m_tracker; }
    void ClearUpdates();
    uint32_t GetConnectTime() const { return m_connectTime; }

    void PauseUpdates();
    void ResumeUpdates();
    // Wakes the update sender; the first call starts it. The Locked form
    // expects the update lock to be held.
    void TriggerUpdate();
    void TriggerUpdateLocked() override;

    // Thread body.
    void RunSession();

    // DesktopClient: the desktop thread's findings.
    bool UpdateWantedLocked() override;
    rfb::UpdateTracker& TrackerLocked() override { return m_tracker; }
    void ReportInputDesktop(bool lost) override;
    void NewDesktopSize(int width, int height) override;
    void NewSharedArea(const rfb::Rect& area, bool single, bool sizeChanged) override;
    void EndSession() override { AbortSession(); }

private:
    bool SetUp();
    void TearDown(bool wasSetUp);
    bool CheckInputDesktop();
    // Stops the session and the connection, so a waiting read or send ends.
    void AbortSession();
    bool ApplyEncodings(const ViewerMessage& msg);
    bool Execute(const ViewerMessage& msg);
    // The keys and buttons a viewer that lost control left pressed go up.
    void ReleaseHeldInput();
    bool OnSetPixelFormat(const ViewerMessage& msg);
    bool OnSetEncodings(const ViewerMessage& msg);
    bool OnUpdateRequest(const ViewerMessage& msg);
    void OnPointer(const ViewerMessage& msg);
    bool OnSetScale(const ViewerMessage& msg);
    bool OnSetSW(const ViewerMessage& msg);
    bool OnStartRequest(const ViewerMessage& msg);
    // Records a request for r (host coordinates) and asks the desktop for a
    // cycle; with the update lock held.
    void RecordRequestLocked(const rfb::Rect& r, bool incremental);
    // A short message from the client thread, under the update lock.
    bool SendSmall(const void* data, size_t n);
    rfb::Rect ClientScreen() const;

    // Composes updates from the state below.
    friend class vncUpdateSender;

    vncServer* m_server;
    HostConnection* m_connection;
    HostPlatform* m_platform;
    vncClientBuffer* m_buffer = nullptr;
    HostDesktop* m_desktop = nullptr;
    vncClientThread* m_thread = nullptr;

    std::atomic<bool> m_running{false};
    std::atomic<bool> m_threadDone{false};
    std::unique_ptr<omni_mutex> m_doneLock;
    std::unique_ptr<omni_condition> m_doneCond;
    std::atomic<bool> m_encodingsReceived{false};
    bool m_keyboardEnabled = true;
    bool m_pointerEnabled = true;
    int m_flagC = 0;
    uint32_t m_connectTime = 0;

    int m_originX = 0, m_originY = 0;
    int m_offsetX = 0, m_offsetY = 0;
    bool m_absoluteMouse = false;
    int m_scale = 1;

    vncClientEncoding m_encoding;
    rfb::SimpleUpdateTracker m_tracker;
    rfb::Region m_requested;
    PointerState m_pointer;
    std::atomic<bool> m_keyEvent{false};
    // Client thread only: control was given when the last message came.
    bool m_controlWasGiven = false;

    std::string m_clipText;
    bool m_clipPending = false;
    bool m_formatChanged = false;
    // From a start request until that viewer's SetEncodings: no update goes
    // out, since the viewer reads every update after its reply in the format
    // and encodings it is about to send.
    bool m_awaitingEncodings = false;
    bool m_scaleChanged = false;
    bool m_resizeFullSize = false;
    bool m_newFBSizeAllowed = false;
    bool m_copyRectAllowed = false;
    bool m_sizeChangePending = false;
    int m_newWidth = 0, m_newHeight = 0;
    bool m_cursorPending = false;
    bool m_cursorShapeSent = false;
    bool m_cursorMoved = false;
    rfb::Rect m_cursorRect;
    bool m_cacheInUse = false;
    uint64_t m_cacheBytes = 0;

    vncUpdateSender m_sender{*this};
};
