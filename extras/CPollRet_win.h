#pragma once
// The poll result window: one row per question, option, answers list and
// (in the final results) no-answer list, each with its count; a click on a
// row with a detail list hands the list to the panel.
#include "extras/CTreeBase_win.h"
#include "extras/PollResultRows.h"

#include <functional>
#include <string>
#include <vector>

class CPollRet : public CTreeBase {
public:
    CPollRet(HWND parent, const RECT& rect, std::function<void(const std::wstring&)> onDetail);

    void UpdateResults(const PollRecord& record, size_t asked, bool final, const PollResultTexts& texts);
    void ResetTree();
    const std::vector<PollResultRow>& Rows() const { return m_rows; }
    // The painted rectangle of row index, empty when not painted.
    RECT RowRect(size_t index) const;

protected:
    int DrawItems(HDC dc, int width) override;
    void OnClick(POINT point) override;

private:
    std::function<void(const std::wstring&)> m_onDetail;
    std::vector<PollResultRow> m_rows;
    std::vector<RECT> m_rects;
};
