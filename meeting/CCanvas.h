#pragma once
// The two canvases of a meeting: annotation over the shared screen and the
// whiteboard. The participant who opens one is its owner and the only one who
// draws; every other participant's canvas of the same surface opens as a
// viewer when the owner's "open" message arrives and replays the owner's
// steps. Each open canvas runs its windows on a thread of its own, and
// received messages are handed to that thread and drawn only there.
#include "core/base/AnnotationLayer.h"
#include "core/base/CHeap.h"
#include "core/base/WinHandle.h"
#include "meeting/CanvasLayer_win.h"
#include "meeting/CanvasMessages.h"
#include "meeting/ShapePreview_win.h"

#include <windows.h>
#include <commctrl.h>

#include <atomic>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class MeetingContext;
class CCanvasMessager;

// Which surface a canvas object serves.
constexpr int kCanvasAnnotation = 0;
constexpr int kCanvasWhiteboard = 1;

// The owner's whiteboard frame and the size of its canvas when it opens.
constexpr int kWhiteboardFrameWidth = 700;
constexpr int kWhiteboardFrameHeight = 480;
constexpr int kWhiteboardCanvasWidth = 2048;
constexpr int kWhiteboardCanvasHeight = 1536;

class CCanvas : public CHeap {
public:
    explicit CCanvas(int surface);
    // Closes the canvas and waits for its thread.
    ~CCanvas() override;
    CCanvas(const CCanvas&) = delete;
    CCanvas& operator=(const CCanvas&) = delete;

    // Annotation (kind 2 owner, 3 viewer) and whiteboard (0 owner, 1 viewer):
    // 1 when the canvas is open (already, or its thread made its windows),
    // 0 when it could not be opened. An owner's second opening brings its
    // whiteboard frame to the top and changes nothing else.
    int StartAnnotationThread(int kind);
    int StartWhiteboardThread(int kind);
    // Ends whatever is open here (control 1, logout, meeting end).
    void Close();
    // Closes and waits (bounded) for the canvas thread to end.
    void Shutdown();
    // Ends the canvas only when this participant owns it (losing the host role).
    void QuitWhiteboard();

    // Fill a record and send it with this canvas's kind. Nothing is sent
    // without a messager, or from an annotation owner while g_comProbeOk is set.
    void SendControl(int command, int a, int b, int c, int d);
    void SendShape(int number, int x1, int y1, int x2, int y2);
    void SendText(int number);

    // One received message (NUL-terminated), from a receive thread. Opening
    // messages start the viewer canvas here; everything else is drawn on the
    // canvas's own thread.
    void ApplyMessage(const char* text);

    // The layer on screen, top-down and premultiplied; null while no
    // drawing window is open.
    std::shared_ptr<const AnnotationLayer> GetLayerBitmap();

    // Only for a viewer whiteboard with a live frame (the tray's item).
    int IsWhiteboardVisible(int* visible);
    void ShowWhiteboard(int show);

    int Kind() const { return m_kind; }
    HWND DrawingWindow() const { return m_drawing; }
    HWND FrameWindow() const { return m_frame; }
    HWND ToolbarWindow() const { return m_toolbar; }
    HWND CatcherWindow() const { return m_catcher; }
    HWND TextWindow() const { return m_textDialog; }
    int CanvasWidth() const { return m_canvasWidth; }
    int CanvasHeight() const { return m_canvasHeight; }
    const CTool& CurrentTool() const { return m_tool; }

    void SetMessager(CCanvasMessager* messager) { m_messager = messager; }
    CCanvasMessager* Messager() const { return m_messager; }

    // Window procedures and the thread find their canvas through these.
    LRESULT OnDrawingMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    LRESULT OnCatcherMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    LRESULT OnFrameMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    INT_PTR OnToolbarMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    INT_PTR OnTextMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    void RunThread();

private:
    enum Mode { kIdle = 0, kErasing = 1, kDrawing = 2, kTyping = 3 };

    bool IsOwner() const { return m_kind == kCanvasWhiteboardOwner || m_kind == kCanvasAnnotationOwner; }
    bool IsWhiteboard() const { return m_kind == kCanvasWhiteboardOwner || m_kind == kCanvasWhiteboardViewer; }
    int StartThread(int kind);
    bool ThreadRunning() const;
    bool MakeWindows();
    bool MakeLayers();
    void MakeToolbar(HWND parent);
    void ReleaseAll();

    // Received messages, on the canvas thread.
    void DrainInbox();
    void Apply(const std::string& message);
    void ApplyShape(const std::string& message);
    void ApplyControl(const std::string& message, int kind);
    void ApplyText(const std::string& message);

    // Pointer input, from the owner's mouse or a received shape.
    void OnPress(int x, int y);
    void OnMove(int x, int y);
    void OnRelease(int x, int y);
    void DrawStep(int x, int y);
    void EraseSegment(int x, int y);
    void ClearAll();
    void Present(CanvasLayer& layer);
    void PaintWhiteboard(HWND hwnd);
    void DrawTextAt(CanvasLayer& layer, const std::wstring& text, int x, int y);
    void CommitText();
    void ResetStroke();
    void SetToolCursor();

    // The toolbar and the tool choice.
    void SelectTool(int type);
    void RefreshOptions();
    void ChooseColour(bool foreground);
    void OnTextChanged();
    void LayoutFrame();
    void UpdateScrollBars();
    void Scroll(int bar, int request, int thumb);

    int m_surface;
    std::atomic<int> m_kind{kCanvasClosed};
    CTool m_tool;
    CTool m_tools[kToolCount];

    std::atomic<HWND> m_catcher{nullptr};
    std::atomic<HWND> m_drawing{nullptr};
    std::atomic<HWND> m_frame{nullptr};
    std::atomic<HWND> m_toolbar{nullptr};
    std::atomic<HWND> m_textDialog{nullptr};
    HWND m_toolButtons = nullptr;
    HWND m_tooltip = nullptr;
    HIMAGELIST m_images = nullptr;

    WinHandle m_thread;
    DWORD m_threadId = 0;
    WinHandle m_ready;
    std::mutex m_startLock;

    // Layer A holds the committed drawing, layer B the preview; the one on
    // screen is what GetLayerBitmap copies (under m_layerLock, as every use
    // of the layers and of their preview).
    CanvasLayer m_layerA;
    CanvasLayer m_layerB;
    ShapePreview m_preview{m_layerA, m_layerB};
    CanvasLayer* m_onScreen = nullptr;
    std::mutex m_layerLock;

    std::mutex m_inboxLock;
    std::deque<std::string> m_inbox;

    int m_scrollX = 0;
    int m_scrollY = 0;
    int m_mode = kIdle;
    int m_prevMode = kIdle;
    POINT m_start = {0, 0};
    std::atomic<int> m_canvasWidth{0};
    std::atomic<int> m_canvasHeight{0};
    std::vector<std::wstring> m_fonts;
    std::wstring m_typing;
    std::wstring m_pendingText;
    int m_pendingNumber = 0;
    bool m_textTimerPending = false;
    bool m_frameOpen = false;
    bool m_updatingOptions = false;
    std::atomic<CCanvasMessager*> m_messager{nullptr};
};

// One of the canvas's dialogs, its messages handed to the canvas's handler.
template <INT_PTR (CCanvas::*Handler)(HWND, UINT, WPARAM, LPARAM)>
HWND CreateCanvasDialog(CCanvas* canvas, int id)
{
    return CreateDialogParamW(
        GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id), nullptr,
        [](HWND d, UINT m, WPARAM wp, LPARAM lp) -> INT_PTR {
            if (m == WM_INITDIALOG)
                SetWindowLongPtrW(d, GWLP_USERDATA, lp);
            auto* c = reinterpret_cast<CCanvas*>(GetWindowLongPtrW(d, GWLP_USERDATA));
            return c ? (c->*Handler)(d, m, wp, lp) : FALSE;
        },
        reinterpret_cast<LPARAM>(canvas));
}

// Sends a canvas's built messages through the meeting and asks the sharing
// viewer to repaint when the annotation it shows changed.
class CCanvasMessager : public CMsgHandler, public CHeap {
public:
    // Stores itself in the canvas.
    CCanvasMessager(CCanvas* canvas, MeetingContext* meeting);
    ~CCanvasMessager() override;
    CCanvasMessager(const CCanvasMessager&) = delete;
    CCanvasMessager& operator=(const CCanvasMessager&) = delete;

    void SendShape(const CanvasShapeRecord& r, int kind) override;
    void SendControl(const CanvasControlRecord& r, int kind) override;
    void SendText(const CanvasTextRecord& r, int kind) override;
    void Refresh() override;

private:
    void Send(const std::string& text);

    CCanvas* m_canvas;
    MeetingContext* m_meeting;
};
