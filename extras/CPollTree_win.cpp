#include "extras/CPollTree_win.h"

#include "core/base/TextConvert.h"

#include <algorithm>

namespace {

constexpr int kMark = 13;  // check box and round button

std::wstring Wide(const std::string& utf8)
{
    return AnsiToWide(utf8, kCodePageUtf8);
}

} // namespace

CPollTree::CPollTree(PollTree::Mode mode, HWND parent, const RECT& rect, std::function<void()> onChange)
    : m_tree(mode), m_onChange(std::move(onChange))
{
    if (!CreateTreeWindow(L"PollTree", parent, rect, L"Poll Tree"))
        return;
    m_edit = CreateWindowExW(0, L"EDIT", L"", WS_CHILD | WS_BORDER | ES_MULTILINE | ES_AUTOVSCROLL, 0, 0, 10, 10,
                             m_hwnd, nullptr, GetModuleHandleW(nullptr), nullptr);
    if (!m_edit)
        return;
    SendMessageW(m_edit, WM_SETFONT, reinterpret_cast<WPARAM>(m_font.get()), 0);
    SendMessageW(m_edit, EM_LIMITTEXT, kPollItemMaxChars, 0);
    SendMessageW(m_edit, EM_FMTLINES, FALSE, 0);
    SetWindowLongPtrW(m_edit, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    m_editPrevious =
        reinterpret_cast<WNDPROC>(SetWindowLongPtrW(m_edit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(EditProc)));
}

CPollTree::~CPollTree()
{
    if (m_edit && IsWindow(m_edit))
        SetWindowLongPtrW(m_edit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_editPrevious));
}

LRESULT CALLBACK CPollTree::EditProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    auto* self = reinterpret_cast<CPollTree*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!self)
        return DefWindowProcW(hwnd, msg, wParam, lParam);
    if (msg == WM_KEYDOWN && wParam == VK_RETURN) {
        self->CommitEdit();
        return 0;
    }
    if (msg == WM_CHAR && (wParam == L'\r' || wParam == L'\n'))
        return 0;
    if (msg == WM_GETDLGCODE)
        return DLGC_WANTALLKEYS | CallWindowProcW(self->m_editPrevious, hwnd, msg, wParam, lParam);
    return CallWindowProcW(self->m_editPrevious, hwnd, msg, wParam, lParam);
}

void CPollTree::Changed()
{
    Repaint();
    if (m_onChange)
        m_onChange();
}

void CPollTree::Select(PollNode* node)
{
    m_selected = node;
    Changed();
}

PollNode* CPollTree::NodeAt(POINT point) const
{
    for (const Row& row : m_rows)
        if (PtInRect(&row.rect, point))
            return row.node;
    return nullptr;
}

void CPollTree::BeginEdit(PollNode* node, EditMode mode)
{
    if (!node || !m_edit || mode == EditMode::None)
        return;
    if (m_editMode != EditMode::None)
        CommitEdit();
    m_editNode = node;
    m_editMode = mode;
    RECT client;
    GetClientRect(m_hwnd, &client);
    if (mode != EditMode::Existing) {
        // A new item is the last row: show the end (with room for the box).
        m_scroll = std::max<int>(0, m_total + 3 * m_rowHeight - client.bottom);
    }
    Repaint();
    RECT row{kSpacing, 0, client.right - kSpacing, m_rowHeight};
    for (const Row& r : m_rows)
        if (r.node == node)
            row = r.rect;
    int indent = node->IsQuestion() ? kIndent : 2 * kIndent;
    int top = std::max<int>(0, std::min<int>(row.top, client.bottom - 2 * m_rowHeight));
    MoveWindow(m_edit, indent, top, std::max<int>(client.right - indent - kSpacing, 20), 2 * m_rowHeight, TRUE);
    SetWindowTextW(m_edit, mode == EditMode::Existing ? Wide(node->text).c_str() : L"");
    ShowWindow(m_edit, SW_SHOW);
    SetFocus(m_edit);
}

void CPollTree::CommitEdit()
{
    if (m_editMode == EditMode::None || !m_editNode)
        return;
    PollNode* node = m_editNode;
    EditMode mode = m_editMode;
    m_editNode = nullptr;
    m_editMode = EditMode::None;

    wchar_t buffer[kPollItemMaxChars + 1] = {};
    GetWindowTextW(m_edit, buffer, static_cast<int>(kPollItemMaxChars + 1));
    ShowWindow(m_edit, SW_HIDE);
    std::string text = CleanItemText(WideToAnsi(buffer, kCodePageUtf8));
    if (text.empty()) {
        if (mode != EditMode::Existing) {
            if (m_selected == node || (m_selected && m_selected->parent == node))
                m_selected = nullptr;
            m_tree.Delete(node);
            m_tree.modified = true;
        }
        Changed();
        return;
    }
    if (text != node->text) {
        node->text = text;
        m_tree.modified = true;
    }
    if (mode != EditMode::Existing)
        m_selected = node;
    Changed();
    if (mode == EditMode::NewQuestion) {
        PollNode* first = m_tree.AddNode(node, 0, "");
        if (first && node->kind != kPollShortQuestion)
            BeginEdit(first, EditMode::NewOption);
        else
            Changed();
    }
}

void CPollTree::NewQuestion(int kind)
{
    CommitEdit();
    PollNode* q = m_tree.AddNode(nullptr, kind, "");
    if (q)
        BeginEdit(q, EditMode::NewQuestion);
}

void CPollTree::AddOption()
{
    CommitEdit();
    PollNode* added = nullptr;
    if (m_selected && m_selected->IsOption())
        added = m_tree.InsertAfter(m_selected, "");
    else if (m_selected && m_selected->IsQuestion())
        added = m_tree.AddNode(m_selected, 0, "");
    if (added)
        BeginEdit(added, EditMode::NewOption);
}

void CPollTree::DeleteSelected()
{
    CommitEdit();
    if (m_selected && m_tree.Delete(m_selected)) {
        m_selected = nullptr;
        m_tree.modified = true;
        Changed();
    }
}

void CPollTree::MoveSelected(bool up)
{
    CommitEdit();
    if (m_selected && (up ? m_tree.MoveUp(m_selected) : m_tree.MoveDown(m_selected))) {
        m_tree.modified = true;
        Changed();
    }
}

void CPollTree::ResetTree()
{
    m_editNode = nullptr;
    m_editMode = EditMode::None;
    if (m_edit)
        ShowWindow(m_edit, SW_HIDE);
    m_selected = nullptr;
    m_tree.Clear();
    m_scroll = 0;
    Changed();
}

bool CPollTree::ParseOpenText(std::string_view text)
{
    ResetTree();
    bool taken = m_tree.ParseOpenText(text);
    Changed();
    return taken;
}

bool CPollTree::LoadPollFile(std::string_view bytes)
{
    CommitEdit();
    if (!m_tree.LoadPollFile(bytes))
        return false;
    m_selected = nullptr;
    m_scroll = 0;
    Changed();
    return true;
}

void CPollTree::OnClick(POINT point)
{
    CommitEdit();
    SetFocus(m_hwnd);
    PollNode* node = NodeAt(point);
    if (m_tree.GetMode() == PollTree::Mode::Editing) {
        Select(node);
        return;
    }
    if (node && node->IsOption()) {
        m_tree.ClickOption(node);
        Select(node);
    }
}

void CPollTree::OnDoubleClick(POINT point)
{
    PollNode* node = NodeAt(point);
    if (!node)
        return;
    bool box = node->kind == kPollShortBox;
    if (m_tree.GetMode() == PollTree::Mode::Editing ? !box : box) {
        m_selected = node;
        BeginEdit(node, EditMode::Existing);
    }
}

int CPollTree::DrawOption(HDC dc, const PollNode& option, size_t position, int top, int width)
{
    const bool selected = &option == m_selected;
    const int left = kIndent;
    if (option.kind == kPollShortBox) {
        int textWidth = width - left - 2 * kIndent;
        int height = TextHeight(dc, Wide(option.text), textWidth);
        RECT box{left + kIndent, top, width - kIndent, top + height};
        m_rows.push_back({const_cast<PollNode*>(&option), box});
        if (!Shown(box))
            return height + kSpacing;
        GdiObject<HBRUSH> fill(CreateSolidBrush(selected ? kSelectedBackground : kBoxFill));
        FillRect(dc, &box, fill.get());
        RECT textRect{box.left + 2, box.top, box.right - 2, box.bottom};
        DrawRowText(dc, Wide(option.text), textRect, selected ? kSelectedText : kText);
        return height + kSpacing;
    }
    std::wstring label = Wide(PollOptionLabel(position));
    std::wstring text = label.empty() ? Wide(option.text) : label + L" " + Wide(option.text);
    int textLeft = left + kMark + 2 * kSpacing;
    int height = TextHeight(dc, text, width - textLeft - kSpacing);
    RECT row{left, top, width - kSpacing, top + height};
    m_rows.push_back({const_cast<PollNode*>(&option), row});
    if (!Shown(row))
        return height;
    if (selected) {
        GdiObject<HBRUSH> fill(CreateSolidBrush(kSelectedBackground));
        FillRect(dc, &row, fill.get());
    }
    RECT mark{left + kSpacing, top + (m_rowHeight - kMark) / 2, left + kSpacing + kMark,
              top + (m_rowHeight - kMark) / 2 + kMark};
    UINT style = option.kind == kPollCheckOption ? DFCS_BUTTONCHECK : DFCS_BUTTONRADIO;
    if (option.state == kPollTicked || option.state == kPollChosen)
        style |= DFCS_CHECKED;
    DrawFrameControl(dc, &mark, DFC_BUTTON, style);
    RECT textRect{textLeft, top, width - kSpacing, top + height};
    DrawRowText(dc, text, textRect, selected ? kSelectedText : kText);
    return height;
}

bool CPollTree::Shown(const RECT& row) const
{
    return row.bottom >= 0 && row.top <= m_paintBottom;
}

int CPollTree::DrawItems(HDC dc, int width)
{
    m_rows.clear();
    RECT clip{};
    GetClipBox(dc, &clip);
    m_paintBottom = clip.bottom;
    int y = kSpacing - m_scroll;
    for (const auto& question : m_tree.Root().children) {
        std::wstring text = Wide(question->text);
        int height = TextHeight(dc, text, width - 2 * kSpacing);
        RECT row{kSpacing, y, width - kSpacing, y + height};
        bool selected = question.get() == m_selected;
        if (selected && Shown(row)) {
            GdiObject<HBRUSH> fill(CreateSolidBrush(kSelectedBackground));
            FillRect(dc, &row, fill.get());
        }
        if (Shown(row))
            DrawRowText(dc, text, RECT{row.left + 2, row.top, row.right, row.bottom}, selected ? kSelectedText : kText);
        m_rows.push_back({question.get(), row});
        y += height;
        for (size_t i = 0; i < question->children.size(); ++i)
            y += DrawOption(dc, *question->children[i], i, y, width);
        y += kSpacing;
    }
    return y + m_scroll;
}
