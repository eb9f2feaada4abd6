#include "meeting/CChat.h"

#include "core/base/AppWindows.h"
#include "core/base/DHLog.h"
#include "core/base/FrameMessages.h"
#include "core/base/LoadResString.h"
#include "core/base/TextConvert.h"
#include "core/base/ThreadMessages.h"
#include "core/base/WindowUtil.h"
#include "meeting/ChatResources.h"

#include <winsock2.h>
#include <richedit.h>

#include <algorithm>
#include <mutex>

namespace {

constexpr COLORREF kReceivedColour = RGB(255, 0, 0);
constexpr COLORREF kOwnColour = RGB(0, 0, 255);
constexpr COLORREF kHintColour = RGB(0xFF, 0xFF, 0x99);
constexpr int kStatusBoxHeight = 64;
constexpr int kDockMargin = 10;
constexpr UINT kInputLimit = 1024;
// Messages held for a sender the list lacks; beyond it the oldest goes.
constexpr size_t kMaxHeld = 64;
// A held message goes once this many lists came without its sender.
constexpr int kHeldLists = 2;
constexpr unsigned kJoinMs = 5000;

const wchar_t* Text(UINT id)
{
    return LoadResStringById(id);
}

std::wstring WindowText(HWND hwnd)
{
    const int n = GetWindowTextLengthW(hwnd);
    std::wstring text(static_cast<size_t>(std::max(n, 0)) + 1, L'\0');
    text.resize(static_cast<size_t>(GetWindowTextW(hwnd, &text[0], n + 1)));
    return text;
}

double DpiScaleY()
{
    HDC screen = GetDC(nullptr);
    const int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
    if (screen)
        ReleaseDC(nullptr, screen);
    return dpi / 96.0;
}

void EnsureRichEdit()
{
    static HMODULE module = LoadLibraryW(L"riched20.dll");
    (void)module;  // kept for the whole run, like the program's own load
}

// Posts each frame to the pane as a heap copy; the pane's handler owns it.
class PostToPane : public ChatFrameReader::Sink {
public:
    explicit PostToPane(HWND pane) : m_pane(pane) {}
    void OnChatFrame(ChatFrameReader::Event event, const ChatFrame& frame, const char* why) override
    {
        if (event == ChatFrameReader::Event::Dropped) {
            DHLog::Instance().Print(0x80, 2, false, "Chat: a received frame was dropped (%s).\n", why);
            return;
        }
        if (why)
            DHLog::Instance().Print(0x80, 2, false, "Chat: a received message from %s: %s.\n", frame.from.c_str(),
                                    why);
        if (!m_pane)
            return;
        auto* copy = new ChatFrame(frame);
        if (!PostMessageW(m_pane, WM_COMMAND, MAKEWPARAM(kChatReceivedCommand, 0), reinterpret_cast<LPARAM>(copy)))
            delete copy;
    }

private:
    HWND m_pane;
};

} // namespace

CChat::CChat(HWND parent, std::shared_ptr<ChatContext> context)
    : m_context(std::move(context)), m_parent(parent), m_floating(parent == nullptr)
{
    if (m_floating)
        m_paneState = kChatPaneShown;
}

CChat::~CChat()
{
    m_stop->store(true);
    if (!m_thread.Join(kJoinMs))
        DHLog::Instance().Print(0x80, 2, false, "The chat's receive thread was left to end by itself.\n");
    if (m_hPane && IsWindow(m_hPane))
        DestroyWindow(m_hPane);
    if (m_hintBrush)
        DeleteObject(m_hintBrush);
}

int CChat::CreateDlg()
{
    if (m_hPane)
        return 1;
    EnsureRichEdit();
    const UINT id = m_floating ? IDD_CHAT_FLOATING : IDD_CHAT_DOCKED;
    {
        // Wine's text shaping fills a new font's script cache unguarded: two
        // rich edits made at once on two threads crashed in it.
        static std::mutex making;
        std::lock_guard<std::mutex> one(making);
        m_hPane = CreateDialogParamW(m_context->Instance(), MAKEINTRESOURCEW(id), m_parent, DialogProc,
                                     reinterpret_cast<LPARAM>(this));
    }
    if (!m_hPane) {
        DHLog::Instance().Print(0x80, 1, false, "The chat window could not be made (%lu).\n", GetLastError());
        return 0;
    }
    static ResStringSlot language;
    const bool japanese = std::wstring(LoadResString(language, IDS_CHAT_LANGUAGE_TAG)) == L"jpn";
    m_hint = CreateDialogParamW(m_context->Instance(),
                                MAKEINTRESOURCEW(japanese ? IDD_CHAT_HOST_HINT_JPN : IDD_CHAT_HOST_HINT), m_hPane,
                                HintProc, reinterpret_cast<LPARAM>(this));
    if (m_floating) {
        MakeOwnLayeredWindow(m_hPane);
        ShowWindow(m_hPane, SW_SHOW);
        return 1;
    }
    // Docked: the lobby's frame grows by the pane, which takes its bottom.
    RECT frame{}, pane{};
    GetWindowRect(m_parent, &frame);
    GetWindowRect(m_hPane, &pane);
    // Growing downwards; moved up where it would pass the work area.
    RECT work{};
    GetWorkArea(&work);
    const int height = frame.bottom - frame.top + (pane.bottom - pane.top);
    const int top = std::max<int>(work.top, std::min<int>(frame.top, work.bottom - height));
    SetWindowPos(m_parent, nullptr, frame.left, top, frame.right - frame.left, height, SWP_NOZORDER | SWP_NOACTIVATE);
    PlaceDocked();
    ShowWindow(m_hPane, SW_SHOW);
    return 1;
}

void CChat::PlaceDocked()
{
    RECT client{}, pane{};
    GetClientRect(m_parent, &client);
    GetWindowRect(m_hPane, &pane);
    const double scale = DpiScaleY();
    const int margin = static_cast<int>(kDockMargin * scale);
    const int height = pane.bottom - pane.top;
    const int top = std::max<int>(0, client.bottom - static_cast<int>(kStatusBoxHeight * scale) - height);
    SetWindowPos(m_hPane, HWND_TOP, margin, top, std::max<int>(0, client.right - 2 * margin), height,
                 SWP_NOACTIVATE | SWP_FRAMECHANGED);
    // The frame keeps the pane in its layout from here on.
    ::SendMessageW(m_parent, WM_FRAME_ANCHOR_CHILD, reinterpret_cast<WPARAM>(m_hPane),
                   ANCHOR_LEFT | ANCHOR_TOP | ANCHOR_RIGHT | ANCHOR_BOTTOM);
}

void CChat::DockInto(HWND lobby)
{
    if (!m_hPane || !lobby)
        return;
    m_parent = lobby;
    m_floating = false;
    if (GetParent(m_hPane) != lobby) {
        LONG_PTR style = GetWindowLongPtrW(m_hPane, GWL_STYLE);
        style = (style & ~static_cast<LONG_PTR>(WS_POPUP | WS_CAPTION | WS_THICKFRAME)) | WS_CHILD;
        SetWindowLongPtrW(m_hPane, GWL_STYLE, style);
        SetParent(m_hPane, lobby);
    }
    PlaceDocked();
    ShowWindow(m_hPane, SW_SHOW);
}

bool CChat::StartReceive()
{
    const std::uintptr_t channel = m_context->ChatChannel();
    if (static_cast<SOCKET>(channel) == INVALID_SOCKET || m_thread.Started())
        return false;
    m_stop->store(false);
    return m_thread.Start([this, channel] { ReceiveLoop(channel); });
}

void CChat::ReceiveLoop(std::uintptr_t channel)
{
    const SOCKET s = static_cast<SOCKET>(channel);
    auto stop = m_stop;
    const HWND pane = m_hPane;
    char buffer[8192];
    // What waits from before this meeting's chat began is not shown.
    for (;;) {
        fd_set r;
        FD_ZERO(&r);
        FD_SET(s, &r);
        timeval now{0, 50};
        if (select(0, &r, nullptr, nullptr, &now) <= 0)
            break;
        if (recv(s, buffer, sizeof buffer, 0) <= 0) {
            stop->store(true);
            return;
        }
    }
    m_listening->store(true);
    DHLog::Instance().Print(0x80, 3, false, "Chat: listening.\n");
    ChatFrameReader reader;
    PostToPane sink(pane);
    while (!stop->load()) {
        fd_set r;
        FD_ZERO(&r);
        FD_SET(s, &r);
        timeval wait{0, 200 * 1000};
        const int ready = select(0, &r, nullptr, nullptr, &wait);
        if (ready == 0)
            continue;
        const int n = ready > 0 ? recv(s, buffer, sizeof buffer, 0) : -1;
        if (n <= 0) {
            DHLog::Instance().Print(0x80, 7, false, "Chat: the chat channel ended.\n");
            break;
        }
        if (reader.Ended())
            continue;  // read and dropped: the relay is never held up
        reader.Feed(reinterpret_cast<const uint8_t*>(buffer), static_cast<size_t>(n), sink);
        if (reader.Ended())
            DHLog::Instance().Print(0x80, 2, false,
                                    "Chat: a frame of another type ended the chat; what follows is dropped.\n");
    }
    stop->store(true);
}

// --- the dialog -------------------------------------------------------------

INT_PTR CALLBACK CChat::DialogProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_INITDIALOG) {
        auto* chat = reinterpret_cast<CChat*>(lParam);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, lParam);
        chat->m_hPane = hwnd;
        chat->OnInitDialog();
        return TRUE;
    }
    auto* chat = reinterpret_cast<CChat*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!chat)
        return FALSE;
    return chat->OnMessage(msg, wParam, lParam);
}

void CChat::OnInitDialog()
{
    m_history = GetDlgItem(m_hPane, IDC_CHAT_HISTORY);
    m_input = GetDlgItem(m_hPane, IDC_CHAT_INPUT);
    m_list = GetDlgItem(m_hPane, IDC_CHAT_RECIPIENTS);
    if (HICON icon = LoadIconW(m_context->Instance(), MAKEINTRESOURCEW(137)))
        ::SendMessageW(m_hPane, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
    SetWindowTextW(m_hPane, Text(IDS_CHAT_TITLE));
    SetDlgItemTextW(m_hPane, IDCANCEL, Text(IDS_CHAT_CLOSE));
    SetDlgItemTextW(m_hPane, IDC_CHAT_SEND, Text(IDS_CHAT_SEND));
    SetDlgItemTextW(m_hPane, IDC_CHAT_TO_LABEL, Text(IDS_CHAT_TO));
    ::SendMessageW(m_input, EM_LIMITTEXT, kInputLimit, 0);
    if (m_history)
        ::SendMessageW(m_history, EM_SETLIMITTEXT, kChatHistoryMax + 2 * kChatMaxTextUnits, 0);
    RebuildRecipients();

    RECT client{};
    GetClientRect(m_hPane, &client);
    m_layout.Attach(m_hPane, client.right, client.bottom);
    const struct {
        int id, flags;
    } anchors[] = {
        {IDC_CHAT_HISTORY, ANCHOR_LEFT | ANCHOR_TOP | ANCHOR_RIGHT | ANCHOR_BOTTOM},
        {IDC_CHAT_INPUT, ANCHOR_LEFT | ANCHOR_RIGHT | ANCHOR_BOTTOM},
        {IDC_CHAT_RECIPIENTS, ANCHOR_LEFT | ANCHOR_RIGHT | ANCHOR_BOTTOM},
        {IDC_CHAT_TO_LABEL, ANCHOR_LEFT | ANCHOR_BOTTOM},
        {IDC_CHAT_SEND, ANCHOR_RIGHT | ANCHOR_BOTTOM},
        {IDCANCEL, ANCHOR_RIGHT | ANCHOR_BOTTOM},
    };
    for (const auto& a : anchors) {
        HWND control = GetDlgItem(m_hPane, a.id);
        if (!control)
            continue;
        RECT r{};
        GetWindowRect(control, &r);
        MapWindowPoints(nullptr, m_hPane, reinterpret_cast<POINT*>(&r), 2);
        m_layout.AddControl(control, a.flags, r);
    }
}

INT_PTR CChat::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_COMMAND: OnCommand(LOWORD(wParam), HIWORD(wParam), lParam); return TRUE;
    case WM_CHAT_RECIPIENTS: {
        RebuildRecipients();
        // Held messages whose sender is listed now are shown; the others
        // wait for one more list at most.
        std::vector<Held> held;
        held.swap(m_held);
        const std::vector<ChatPeer> peers = m_context->Peers();
        for (Held& h : held) {
            const bool known = std::any_of(peers.begin(), peers.end(),
                                           [&](const ChatPeer& p) { return p.session == h.frame->from; });
            if (known) {
                OnReceived(std::move(h.frame));
            } else if (++h.listsSeen >= kHeldLists) {
                DHLog::Instance().Print(0x80, 2, false,
                                        "Chat: a message from %s, who is not in the meeting, was dropped.\n",
                                        h.frame->from.c_str());
            } else {
                m_held.push_back(std::move(h));
            }
        }
        return TRUE;
    }
    case WM_SIZE:
        m_layout.Relayout();
        RedrawWindow(m_hPane, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
        return TRUE;
    case WM_FRAME_RELAYOUT: m_layout.Relayout(); return TRUE;
    case WM_FRAME_ANCHOR_CHILD: return TRUE;
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSTATIC: return reinterpret_cast<INT_PTR>(GetStockObject(WHITE_BRUSH));
    case WM_CLOSE: OnCommand(IDCANCEL, 0, 0); return TRUE;
    case WM_DESTROY:
        FreePosted();
        m_hPane = nullptr;
        m_history = m_input = m_list = m_hint = nullptr;
        return FALSE;
    default: return FALSE;
    }
}

void CChat::FreePosted()
{
    MSG m;
    while (PeekMessageW(&m, m_hPane, WM_COMMAND, WM_COMMAND, PM_REMOVE))
        if (LOWORD(m.wParam) == kChatReceivedCommand)
            delete reinterpret_cast<ChatFrame*>(m.lParam);
}

void CChat::OnCommand(int id, int code, LPARAM lParam)
{
    switch (id) {
    case kChatReceivedCommand: OnReceived(std::unique_ptr<ChatFrame>(reinterpret_cast<ChatFrame*>(lParam))); return;
    case IDC_CHAT_SEND: SendTyped(); return;
    case IDC_CHAT_INPUT:
        if (code == EN_CHANGE)
            OnInputChanged();
        return;
    case IDC_CHAT_RECIPIENTS:
        if (code == CBN_SELCHANGE) {
            const LRESULT index = ::SendMessageW(m_list, CB_GETCURSEL, 0, 0);
            if (index >= 0 && static_cast<size_t>(index) < m_names.size())
                m_chosen = m_names[static_cast<size_t>(index)];
        }
        return;
    case IDCANCEL:
        if (m_floating) {
            ShowWindow(m_hPane, SW_HIDE);
            SetPaneState(kChatPaneHidden);
        } else {
            DestroyWindow(m_hPane);
        }
        return;
    default: return;
    }
}

void CChat::OnInputChanged()
{
    if (m_ignoreChange)
        return;
    std::wstring text = WindowText(m_input);
    switch (OnChatInputChanged(text)) {
    case ChatInputAction::None: return;
    case ChatInputAction::Clear:
        m_ignoreChange = true;
        SetWindowTextW(m_input, L"");
        m_ignoreChange = false;
        return;
    case ChatInputAction::Send:
        if ((GetPaneState() & kChatPaneDocked) && m_parent)
            PostMessageW(m_parent, WM_CHAT_TYPED, 0, 0);
        Send(std::move(text));
        return;
    }
}

void CChat::SendTyped()
{
    Send(WindowText(m_input));
    SetFocus(m_input);
}

void CChat::Send(std::wstring text)
{
    const std::string utf8 = WideToAnsi(text, kCodePageUtf8);
    if (utf8.empty())
        return;
    const std::vector<ChatPeer> peers = m_context->Peers();
    const std::string own = m_context->OwnSessionId();
    LRESULT index = m_list ? ::SendMessageW(m_list, CB_GETCURSEL, 0, 0) : 0;
    if (index < 0 || static_cast<size_t>(index) >= m_names.size())
        index = 0;
    const size_t chosen = static_cast<size_t>(index);
    const std::wstring name = chosen < m_names.size() ? m_names[chosen] : L"";
    const std::string to = ResolveRecipient(chosen, name, peers, own);
    if (to.empty()) {
        DHLog::Instance().Print(0x80, 2, false, "Chat: the chosen recipient is not in the meeting; nothing was sent.\n");
        return;
    }
    AppendHistory(Text(IDS_CHAT_ME), chosen == 0 ? Text(IDS_CHAT_ALL) : name, text, kOwnColour);
    m_ignoreChange = true;
    SetWindowTextW(m_input, L"");
    m_ignoreChange = false;
    const ControlPacket packet = BuildChatPacket(own, to, utf8);
    if (packet.empty() || !m_context->SendPacket(packet)) {
        DHLog::Instance().Print(0x80, 1, false, "Chat: a message to %s could not be sent.\n", to.c_str());
        AppendNote(Text(IDS_CHAT_SEND_FAILED));
    }
}

void CChat::OnReceived(std::unique_ptr<ChatFrame> frame)
{
    if (!frame)
        return;
    std::wstring sender;
    bool known = false;
    for (const ChatPeer& p : m_context->Peers()) {
        if (p.session == frame->from) {
            sender = p.name;
            known = true;
            break;
        }
    }
    switch (JudgeChatFrame(frame->from, frame->to, m_context->OwnSessionId(), known)) {
    case ChatVerdict::Own: return;
    case ChatVerdict::NotForMe:
        DHLog::Instance().Print(0x80, 2, false, "Chat: a message for %s reached this participant and was dropped.\n",
                                frame->to.c_str());
        return;
    case ChatVerdict::UnknownSender:
        if (m_held.size() == kMaxHeld) {
            DHLog::Instance().Print(0x80, 2, false, "Chat: too many messages from unlisted senders; one was dropped.\n");
            m_held.erase(m_held.begin());
        }
        m_held.push_back({std::move(frame), 0});
        m_context->AskRefresh();
        return;
    case ChatVerdict::ShowToMe: ShowReceived(*frame, true, sender); return;
    case ChatVerdict::ShowToAll: ShowReceived(*frame, false, sender); return;
    }
}

void CChat::ShowReceived(const ChatFrame& frame, bool toMe, const std::wstring& sender)
{
    const int state = GetPaneState();
    const bool hidden = (state & kChatPaneHidden) != 0;
    const bool dockedShown = (state & kChatPaneShown) && (state & kChatPaneDocked);
    if (m_context->HostSharing()) {
        if (hidden || dockedShown)
            PostThreadMessageW(m_context->MainThreadId(), PLM_SHOW_CHAT, 0, 0);
    } else if (m_hPane) {
        HWND root = GetAncestor(m_hPane, GA_ROOT);
        if (GetForegroundWindow() != root) {
            FLASHWINFO flash{sizeof(flash), root, FLASHW_ALL, 1, 0};
            FlashWindowEx(&flash);
        }
    }
    AppendHistory(sender, Text(toMe ? IDS_CHAT_ME : IDS_CHAT_ALL), AnsiToWide(frame.text, kCodePageUtf8),
                  kReceivedColour);
}

void CChat::AppendHistory(const std::wstring& sender, const std::wstring& recipient, const std::wstring& text,
                          COLORREF headerColour)
{
    DHLog::Instance().PrintW(0x80, 3, false, L"%s[Chat Log]\tFrom <%s> to <%s> : %s\n",
                             m_context->EventPrefix().c_str(), sender.c_str(), recipient.c_str(), text.c_str());
    if (!m_history)
        return;
    const std::wstring header = ChatHeader(Text(IDS_CHAT_HEADER), sender, recipient) + L"\r\n";
    std::wstring body = text;
    if (body.empty() || body.back() != L'\n')
        body += L"\r\n";
    const size_t current = static_cast<size_t>(std::max(0, GetWindowTextLengthW(m_history)));
    // One repaint for the whole line: a rich edit redrawn at every step
    // takes tens of milliseconds a line, and a burst would queue up.
    ::SendMessageW(m_history, WM_SETREDRAW, FALSE, 0);
    if (ChatHistoryRestarts(current, header.size() + body.size()))
        SetWindowTextW(m_history, L"");

    CHARFORMAT2W format{};
    format.cbSize = sizeof(format);
    format.dwMask = CFM_COLOR | CFM_FACE;
    format.crTextColor = headerColour;
    wcscpy_s(format.szFaceName, L"Arial");
    ::SendMessageW(m_history, EM_SETSEL, static_cast<WPARAM>(-1), -1);
    ::SendMessageW(m_history, EM_SETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&format));
    ::SendMessageW(m_history, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(header.c_str()));
    format.dwMask = CFM_COLOR;
    format.dwEffects = CFE_AUTOCOLOR;
    ::SendMessageW(m_history, EM_SETSEL, static_cast<WPARAM>(-1), -1);
    ::SendMessageW(m_history, EM_SETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&format));
    ::SendMessageW(m_history, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(body.c_str()));
    ::SendMessageW(m_history, WM_SETREDRAW, TRUE, 0);
    ::SendMessageW(m_history, WM_VSCROLL, SB_BOTTOM, 0);
    InvalidateRect(m_history, nullptr, TRUE);
}

void CChat::AppendNote(const std::wstring& text)
{
    if (!m_history)
        return;
    CHARFORMAT2W format{};
    format.cbSize = sizeof(format);
    format.dwMask = CFM_COLOR;
    format.crTextColor = kReceivedColour;
    const std::wstring line = text + L"\r\n";
    ::SendMessageW(m_history, EM_SETSEL, static_cast<WPARAM>(-1), -1);
    ::SendMessageW(m_history, EM_SETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&format));
    ::SendMessageW(m_history, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(line.c_str()));
}

void CChat::RebuildRecipients()
{
    if (!m_list)
        return;
    // The entry chosen now, however it was chosen.
    const LRESULT current = ::SendMessageW(m_list, CB_GETCURSEL, 0, 0);
    if (current >= 0 && static_cast<size_t>(current) < m_names.size())
        m_chosen = m_names[static_cast<size_t>(current)];
    m_names = ChatRecipientNames(m_context->Peers(), m_context->OwnSessionId(), Text(IDS_CHAT_ALL_PARTICIPANTS));
    const size_t keep = KeepRecipient(m_names, m_chosen);
    ::SendMessageW(m_list, CB_RESETCONTENT, 0, 0);
    for (const std::wstring& name : m_names)
        ::SendMessageW(m_list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name.c_str()));
    ::SendMessageW(m_list, CB_SETCURSEL, keep, 0);
    m_chosen = m_names[keep];
}

// --- the host hint ------------------------------------------------------------

void CChat::ShowHostHint()
{
    if (!m_hint || !m_history)
        return;
    RECT history{}, hint{};
    GetWindowRect(m_history, &history);
    MapWindowPoints(nullptr, m_hPane, reinterpret_cast<POINT*>(&history), 2);
    GetWindowRect(m_hint, &hint);
    const int w = hint.right - hint.left, h = hint.bottom - hint.top;
    SetWindowPos(m_hint, HWND_TOP, history.left + (history.right - history.left - w) / 2,
                 history.top + (history.bottom - history.top - h) / 2, 0, 0, SWP_NOSIZE | SWP_NOACTIVATE);
    ShowWindow(m_hint, SW_SHOW);
}

INT_PTR CALLBACK CChat::HintProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_INITDIALOG: {
        auto* chat = reinterpret_cast<CChat*>(lParam);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, lParam);
        if (!chat->m_hintBrush)
            chat->m_hintBrush = CreateSolidBrush(kHintColour);
        const UINT texts[] = {IDS_CHAT_HINT_1, IDS_CHAT_HINT_2, IDS_CHAT_HINT_3, IDS_CHAT_HINT_4};
        for (int i = 0; i < 4; ++i)
            SetDlgItemTextW(hwnd, IDC_CHAT_HINT_1 + i, Text(texts[i]));
        return TRUE;
    }
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSTATIC: {
        auto* chat = reinterpret_cast<CChat*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
        if (msg == WM_CTLCOLORSTATIC)
            SetBkMode(reinterpret_cast<HDC>(wParam), TRANSPARENT);
        return reinterpret_cast<INT_PTR>(chat ? chat->m_hintBrush : GetStockObject(WHITE_BRUSH));
    }
    case WM_LBUTTONDOWN: ShowWindow(hwnd, SW_HIDE); return TRUE;
    case WM_COMMAND:
        // A click on a line (SS_NOTIFY) puts the hint away too.
        if (HIWORD(wParam) == STN_CLICKED)
            ShowWindow(hwnd, SW_HIDE);
        return TRUE;
    default: return FALSE;
    }
}
