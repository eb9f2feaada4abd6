#include "extras/CPollRet_win.h"

#include "core/base/TextConvert.h"
#include "extras/PollTree.h"

CPollRet::CPollRet(HWND parent, const RECT& rect, std::function<void(const std::wstring&)> onDetail)
    : m_onDetail(std::move(onDetail))
{
    CreateTreeWindow(L"PollRet", parent, rect, L"Poll Result");
}

void CPollRet::UpdateResults(const PollRecord& record, size_t asked, bool final, const PollResultTexts& texts)
{
    m_rows = BuildResultRows(record, asked, final, texts);
    Repaint();
}

void CPollRet::ResetTree()
{
    m_rows.clear();
    m_scroll = 0;
    Repaint();
}

RECT CPollRet::RowRect(size_t index) const
{
    return index < m_rects.size() ? m_rects[index] : RECT{};
}

int CPollRet::DrawItems(HDC dc, int width)
{
    m_rects.clear();
    const int countWidth = 90;
    int y = kSpacing - m_scroll;
    for (const PollResultRow& row : m_rows) {
        const bool question = row.kind == kPollCheckQuestion || row.kind == kPollRadioQuestion ||
                              row.kind == kPollShortQuestion;
        const int left = question ? kSpacing : kIndent + kSpacing;
        const int right = question ? width - kSpacing : width - countWidth;
        std::wstring text = AnsiToWide(row.text, kCodePageUtf8);
        int height = TextHeight(dc, text, right - left);
        if (question && y > kSpacing - m_scroll)
            y += kSpacing;
        DrawRowText(dc, text, RECT{left, y, right, y + height}, kText);
        if (!row.count.empty())
            DrawRowText(dc, AnsiToWide(row.count, kCodePageUtf8), RECT{right + kSpacing, y, width - kSpacing, y + height},
                        kText);
        m_rects.push_back(RECT{left, y, width - kSpacing, y + height});
        y += height;
    }
    return y + m_scroll;
}

void CPollRet::OnClick(POINT point)
{
    SetFocus(m_hwnd);
    for (size_t i = 0; i < m_rects.size() && i < m_rows.size(); ++i)
        if (PtInRect(&m_rects[i], point) && !m_rows[i].detail.empty() && m_onDetail) {
            m_onDetail(AnsiToWide(m_rows[i].detail, kCodePageUtf8));
            return;
        }
}
