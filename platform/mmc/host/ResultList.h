// The result pane's list of one view: a list view control (report style) on
// the host's user-interface thread, filled as IResultData and IHeaderCtrl
// ask. The control holds the items, their texts or callbacks, images, states
// and the snap-in's lParam; this side knows which row is which: a result
// item of the snap-in or a scope item listed among the results (those come
// first, as the console lists a node's children before its result items).
#pragma once

#include <string>
#include <vector>

#include "platform/mmc/SnapIn.h"
#include "platform/ui/CommCtrl.h"

namespace kv::mmc {

struct ResultColumn {
    std::u16string title;
    int format = LVCFMT_LEFT;
    int width = 100;
};

// What a row of the list stands for: exactly one of the two is set.
struct ResultRow {
    HRESULTITEM id = 0;
    HSCOPEITEM scopeItem = 0;
    std::u16string text;  // a result item's own first-column text, as IResultData::GetItem hands it out
};

class ResultList {
public:
    // The list control the rows live in; until then every call fails.
    void Attach(HWND list) { m_list = list; }
    HWND Control() const { return m_list; }

    // --- IResultData ------------------------------------------------------
    // Index numbers are the control's, scope rows included.
    HRESULT Insert(RESULTDATAITEM* item);
    HRESULT Delete(HRESULTITEM id);
    // The snap-in's items go; scope rows stay.
    void Clear();
    HRESULT Set(const RESULTDATAITEM& item);
    HRESULT Get(RESULTDATAITEM* item) const;
    HRESULT FindByLParam(LPARAM lParam, HRESULTITEM* id) const;
    // The next row after item->nIndex (-1: from the start) whose state
    // holds every bit of item->nState.
    HRESULT Next(RESULTDATAITEM* item) const;
    HRESULT ModifyState(int index, HRESULTITEM id, UINT add, UINT remove);

    // --- The host ---------------------------------------------------------
    // Every row and column goes (another scope item is shown).
    void Reset();
    // The scope rows become exactly these children (handle, cookie), in
    // order; a child that stays keeps its selection.
    void SetScopeRows(const std::vector<std::pair<HSCOPEITEM, MMC_COOKIE>>& children);
    // Selects exactly these rows, focusing the last.
    void SelectOnly(const std::vector<int>& indexes);
    std::vector<int> Selected() const;
    int Count() const { return static_cast<int>(m_rows.size()); }
    const ResultRow& RowAt(int index) const { return m_rows[static_cast<size_t>(index)]; }
    int IndexOfItem(HRESULTITEM id) const;
    int IndexOfScope(HSCOPEITEM item) const;
    LPARAM ParamAt(int index) const;
    // The text the row holds itself; empty with `callback` set when the
    // snap-in supplies it.
    std::string TextAt(int index, bool* callback) const;
    void SetTextAt(int index, const std::string& text);
    // The control's columns follow `columns`.
    void SyncColumns();

    std::vector<ResultColumn> columns;

private:
    int InsertRow(int index, const ResultRow& row, LVITEMA& item);
    void MarkSubItemCallbacks(int index, int from, int to);
    HWND m_list = nullptr;
    std::vector<ResultRow> m_rows;  // in the control's order
    std::vector<ResultColumn> m_shownColumns;
    HRESULTITEM m_next = 1;
};

}  // namespace kv::mmc
