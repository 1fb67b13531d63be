// The result pane's list of one view, as IResultData and IHeaderCtrl fill
// it: columns, items with their texts or callbacks, images, states and the
// snap-in's lParam.
#pragma once

#include <string>
#include <vector>

#include "platform/mmc/SnapIn.h"

namespace kv::mmc {

struct ResultItem {
    HRESULTITEM id = 0;
    std::u16string text;
    bool textCallback = false;
    int image = -1;
    LPARAM lParam = 0;
    UINT state = 0;
    int indent = 0;
};

struct ResultColumn {
    std::u16string title;
    int format = LVCFMT_LEFT;
    int width = 100;
};

class ResultList {
public:
    HRESULT Insert(RESULTDATAITEM* item);
    HRESULT Delete(HRESULTITEM id);
    void Clear() { m_items.clear(); }
    HRESULT Set(const RESULTDATAITEM& item);
    HRESULT Get(RESULTDATAITEM* item) const;
    HRESULT FindByLParam(LPARAM lParam, HRESULTITEM* id) const;
    // The next item after item->nIndex (-1: from the start) whose state
    // holds every bit of item->nState.
    HRESULT Next(RESULTDATAITEM* item) const;
    HRESULT ModifyState(int index, HRESULTITEM id, UINT add, UINT remove);
    // Selects exactly the items named; clears the rest.
    void SelectOnly(const std::vector<HRESULTITEM>& ids);

    const std::vector<ResultItem>& Items() const { return m_items; }
    ResultItem* Find(HRESULTITEM id);

    std::vector<ResultColumn> columns;

private:
    int IndexOf(HRESULTITEM id) const;
    std::vector<ResultItem> m_items;
    HRESULTITEM m_next = 1;
};

}  // namespace kv::mmc
