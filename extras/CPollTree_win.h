#pragma once
// The poll editor window: in the editing panel the questions and options
// being written, edited in place in an "EDIT" box; in the answering panel
// the received poll, ticked, chosen and typed into.
#include "extras/CTreeBase_win.h"
#include "extras/PollTree.h"

#include <functional>
#include <string>
#include <vector>

class CPollTree : public CTreeBase {
public:
    enum class EditMode { None = 0, Existing = 1, NewOption = 2, NewQuestion = 3 };

    // onChange runs after every change of the selection or of the tree.
    CPollTree(PollTree::Mode mode, HWND parent, const RECT& rect, std::function<void()> onChange);
    ~CPollTree() override;

    PollTree& Tree() { return m_tree; }
    PollNode* Selected() const { return m_selected; }
    void Select(PollNode* node);
    HWND EditBox() const { return m_edit; }
    EditMode Editing() const { return m_editMode; }

    // Starts editing node in place (an existing item, or a new one).
    void BeginEdit(PollNode* node, EditMode mode);
    // Takes the edit box's text (Enter, a click elsewhere, any command).
    void CommitEdit();
    // Adds a question of kind at the end and edits its text.
    void NewQuestion(int kind);
    // Adds an option after the selected option or to the selected question
    // and edits it.
    void AddOption();
    void DeleteSelected();
    void MoveSelected(bool up);
    // Frees every node and ends any edit.
    void ResetTree();
    // Replaces the tree with a poll text or file; false when it was not one.
    bool ParseOpenText(std::string_view text);
    bool LoadPollFile(std::string_view bytes);

    // Rows as last painted (client coordinates), for hit tests and tests.
    struct Row {
        PollNode* node;
        RECT rect;
    };
    const std::vector<Row>& Rows() const { return m_rows; }
    PollNode* NodeAt(POINT point) const;

protected:
    int DrawItems(HDC dc, int width) override;
    void OnClick(POINT point) override;
    void OnDoubleClick(POINT point) override;

private:
    static LRESULT CALLBACK EditProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    void Changed();
    int DrawOption(HDC dc, const PollNode& option, size_t position, int top, int width);
    // The row lies in the part being painted (rows outside are measured only).
    bool Shown(const RECT& row) const;

    PollTree m_tree;
    std::function<void()> m_onChange;
    PollNode* m_selected = nullptr;
    PollNode* m_editNode = nullptr;
    EditMode m_editMode = EditMode::None;
    HWND m_edit = nullptr;
    WNDPROC m_editPrevious = nullptr;
    std::vector<Row> m_rows;
    int m_paintBottom = 0;
};
