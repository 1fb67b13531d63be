#include "platform/mmc/host/ResultList.h"

#include <algorithm>

#include "platform/mmc/host/WideText.h"

namespace kv::mmc {

namespace {

int ColumnCount(const std::vector<ResultColumn>& columns) { return std::max<int>(1, static_cast<int>(columns.size())); }

}  // namespace

int ResultList::InsertRow(int index, const ResultRow& row, LVITEMA& item) {
    item.iItem = index;
    item.iSubItem = 0;
    int at = static_cast<int>(SendMessage(m_list, LVM_INSERTITEM, 0, reinterpret_cast<LPARAM>(&item)));
    if (at < 0 || at > static_cast<int>(m_rows.size())) return -1;
    m_rows.insert(m_rows.begin() + at, row);
    // The snap-in supplies every column after the first.
    MarkSubItemCallbacks(at, 1, ColumnCount(columns));
    return at;
}

void ResultList::MarkSubItemCallbacks(int index, int from, int to) {
    for (int column = from; column < to; ++column) {
        LVITEMA sub{};
        sub.iSubItem = column;
        sub.pszText = LPSTR_TEXTCALLBACK;
        SendMessage(m_list, LVM_SETITEMTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&sub));
    }
}

HRESULT ResultList::Insert(RESULTDATAITEM* item) {
    if (item == nullptr) return E_POINTER;
    if (m_list == nullptr) return E_UNEXPECTED;
    LVITEMA row{};
    row.mask = LVIF_TEXT | LVIF_IMAGE | LVIF_PARAM | LVIF_STATE | LVIF_INDENT;
    std::string text;
    bool callback = (item->mask & RDI_STR) != 0 && item->str == MMC_CALLBACK;
    if ((item->mask & RDI_STR) != 0 && !callback && item->str != nullptr) text = Narrow(item->str);
    row.pszText = callback ? LPSTR_TEXTCALLBACK : const_cast<char*>(text.c_str());
    // An item without an image of its own asks for one, as before.
    row.iImage = (item->mask & RDI_IMAGE) != 0 ? item->nImage : I_IMAGECALLBACK;
    row.lParam = (item->mask & RDI_PARAM) != 0 ? item->lParam : 0;
    row.state = (item->mask & RDI_STATE) != 0 ? item->nState : 0;
    row.stateMask = row.state;
    row.iIndent = (item->mask & RDI_INDENT) != 0 ? item->iIndent : 0;
    int at = Count();
    if ((item->mask & RDI_INDEX) != 0 && item->nIndex >= 0 && item->nIndex < Count()) at = item->nIndex;
    // Result items never go among the scope rows.
    int scopes = static_cast<int>(std::count_if(m_rows.begin(), m_rows.end(), [](const ResultRow& r) { return r.scopeItem != 0; }));
    at = std::max(at, scopes);
    ResultRow created;
    created.id = m_next++;
    if (!callback && (item->mask & RDI_STR) != 0 && item->str != nullptr) created.text = item->str;
    at = InsertRow(at, created, row);
    if (at < 0) return E_FAIL;
    item->itemID = created.id;
    item->nIndex = at;
    return S_OK;
}

int ResultList::IndexOfItem(HRESULTITEM id) const {
    if (id == 0) return -1;
    for (size_t i = 0; i < m_rows.size(); ++i)
        if (m_rows[i].id == id) return static_cast<int>(i);
    return -1;
}

int ResultList::IndexOfScope(HSCOPEITEM item) const {
    if (item == 0) return -1;
    for (size_t i = 0; i < m_rows.size(); ++i)
        if (m_rows[i].scopeItem == item) return static_cast<int>(i);
    return -1;
}

HRESULT ResultList::Delete(HRESULTITEM id) {
    int index = IndexOfItem(id);
    if (index < 0) return E_INVALIDARG;
    SendMessage(m_list, LVM_DELETEITEM, static_cast<WPARAM>(index), 0);
    m_rows.erase(m_rows.begin() + index);
    return S_OK;
}

void ResultList::Clear() {
    for (int i = static_cast<int>(m_rows.size()) - 1; i >= 0; --i) {
        if (m_rows[static_cast<size_t>(i)].id == 0) continue;
        SendMessage(m_list, LVM_DELETEITEM, static_cast<WPARAM>(i), 0);
        m_rows.erase(m_rows.begin() + i);
    }
}

void ResultList::Reset() {
    if (m_list != nullptr) {
        SendMessage(m_list, LVM_DELETEALLITEMS, 0, 0);
        while (SendMessage(m_list, LVM_DELETECOLUMN, 0, 0) != 0) {
        }
    }
    m_rows.clear();
    columns.clear();
    m_shownColumns.clear();
}

HRESULT ResultList::Set(const RESULTDATAITEM& item) {
    int index = item.itemID != 0 ? IndexOfItem(item.itemID) : item.nIndex;
    if (index < 0 || index >= Count() || m_rows[static_cast<size_t>(index)].id == 0) return E_INVALIDARG;
    LVITEMA row{};
    row.iItem = index;
    std::string text;
    // Only the first column's text is kept; other columns always call back.
    if ((item.mask & RDI_STR) != 0 && item.nCol == 0) {
        row.mask |= LVIF_TEXT;
        ResultRow& kept = m_rows[static_cast<size_t>(index)];
        if (item.str == MMC_CALLBACK) {
            row.pszText = LPSTR_TEXTCALLBACK;
            kept.text.clear();
        } else {
            kept.text = item.str != nullptr ? std::u16string(item.str) : std::u16string();
            text = Narrow(kept.text);
            row.pszText = const_cast<char*>(text.c_str());
        }
    }
    if ((item.mask & RDI_IMAGE) != 0) {
        row.mask |= LVIF_IMAGE;
        row.iImage = item.nImage;
    }
    if ((item.mask & RDI_PARAM) != 0) {
        row.mask |= LVIF_PARAM;
        row.lParam = item.lParam;
    }
    if ((item.mask & RDI_INDENT) != 0) {
        row.mask |= LVIF_INDENT;
        row.iIndent = item.iIndent;
    }
    if ((item.mask & RDI_STATE) != 0) {
        row.mask |= LVIF_STATE;
        row.state = item.nState;
        row.stateMask = ~0u;
    }
    SendMessage(m_list, LVM_SETITEM, 0, reinterpret_cast<LPARAM>(&row));
    return S_OK;
}

HRESULT ResultList::Get(RESULTDATAITEM* item) const {
    if (item == nullptr) return E_POINTER;
    int index = item->itemID != 0 ? IndexOfItem(item->itemID) : item->nIndex;
    if (index < 0 || index >= Count()) return E_INVALIDARG;
    const ResultRow& row = m_rows[static_cast<size_t>(index)];
    LVITEMA state{};
    state.mask = LVIF_IMAGE | LVIF_PARAM | LVIF_STATE | LVIF_INDENT | LVIF_TEXT;
    state.iItem = index;
    state.stateMask = ~0u;
    char buffer[2] = {};
    state.pszText = buffer;
    state.cchTextMax = sizeof buffer;
    SendMessage(m_list, LVM_GETITEM, 0, reinterpret_cast<LPARAM>(&state));
    item->itemID = row.id;
    item->nIndex = index;
    item->bScopeItem = row.scopeItem != 0;
    if (item->mask & RDI_STR)
        item->str = state.pszText == LPSTR_TEXTCALLBACK || row.id == 0 ? MMC_CALLBACK : const_cast<LPOLESTR>(row.text.c_str());
    if (item->mask & RDI_IMAGE) item->nImage = state.iImage;
    if (item->mask & RDI_PARAM) item->lParam = state.lParam;
    if (item->mask & RDI_STATE) item->nState = state.state;
    if (item->mask & RDI_INDENT) item->iIndent = state.iIndent;
    return S_OK;
}

HRESULT ResultList::FindByLParam(LPARAM lParam, HRESULTITEM* id) const {
    if (id == nullptr) return E_POINTER;
    for (int i = 0; i < Count(); ++i) {
        if (m_rows[static_cast<size_t>(i)].id != 0 && ParamAt(i) == lParam) {
            *id = m_rows[static_cast<size_t>(i)].id;
            return S_OK;
        }
    }
    *id = 0;
    return E_FAIL;
}

HRESULT ResultList::Next(RESULTDATAITEM* item) const {
    if (item == nullptr) return E_POINTER;
    UINT wanted = item->nState;
    for (int i = item->nIndex < 0 ? 0 : item->nIndex + 1; i < Count(); ++i) {
        UINT state = static_cast<UINT>(SendMessage(m_list, LVM_GETITEMSTATE, static_cast<WPARAM>(i), ~0u));
        if ((state & wanted) != wanted) continue;
        LVITEMA found{};
        found.mask = LVIF_IMAGE | LVIF_PARAM;
        found.iItem = i;
        SendMessage(m_list, LVM_GETITEM, 0, reinterpret_cast<LPARAM>(&found));
        const ResultRow& row = m_rows[static_cast<size_t>(i)];
        item->nIndex = i;
        item->itemID = row.id;
        item->lParam = found.lParam;
        item->nImage = found.iImage;
        item->nState = state;
        item->bScopeItem = row.scopeItem != 0;
        return S_OK;
    }
    item->nIndex = -1;
    return S_FALSE;
}

HRESULT ResultList::ModifyState(int index, HRESULTITEM id, UINT add, UINT remove) {
    int at = id != 0 ? IndexOfItem(id) : index;
    if (at < 0 || at >= Count()) return E_INVALIDARG;
    LVITEMA state{};
    state.stateMask = add | remove;
    state.state = add;
    SendMessage(m_list, LVM_SETITEMSTATE, static_cast<WPARAM>(at), reinterpret_cast<LPARAM>(&state));
    return S_OK;
}

void ResultList::SetScopeRows(const std::vector<std::pair<HSCOPEITEM, MMC_COOKIE>>& children) {
    if (m_list == nullptr) return;
    std::vector<HSCOPEITEM> now, wanted;
    for (const ResultRow& row : m_rows)
        if (row.scopeItem != 0) now.push_back(row.scopeItem);
    for (const auto& child : children) wanted.push_back(child.first);
    if (now == wanted) return;
    std::vector<HSCOPEITEM> selected;
    for (int index : Selected())
        if (m_rows[static_cast<size_t>(index)].scopeItem != 0) selected.push_back(m_rows[static_cast<size_t>(index)].scopeItem);
    for (int i = Count() - 1; i >= 0; --i) {
        if (m_rows[static_cast<size_t>(i)].scopeItem == 0) continue;
        SendMessage(m_list, LVM_DELETEITEM, static_cast<WPARAM>(i), 0);
        m_rows.erase(m_rows.begin() + i);
    }
    int at = 0;
    for (const auto& [handle, cookie] : children) {
        LVITEMA item{};
        item.mask = LVIF_TEXT | LVIF_IMAGE | LVIF_PARAM | LVIF_STATE;
        item.pszText = LPSTR_TEXTCALLBACK;
        item.iImage = I_IMAGECALLBACK;
        item.lParam = static_cast<LPARAM>(cookie);
        bool chosen = std::find(selected.begin(), selected.end(), handle) != selected.end();
        item.state = chosen ? LVIS_SELECTED : 0;
        item.stateMask = item.state;
        ResultRow row;
        row.scopeItem = handle;
        if (InsertRow(at, row, item) >= 0) ++at;
    }
}

void ResultList::SelectOnly(const std::vector<int>& indexes) {
    if (m_list == nullptr) return;
    std::vector<int> keep;
    for (int index : indexes)
        if (index >= 0 && index < Count()) keep.push_back(index);
    for (int i : Selected()) {
        if (std::find(keep.begin(), keep.end(), i) != keep.end()) continue;
        ModifyState(i, 0, 0, LVIS_SELECTED | LVIS_FOCUSED);
    }
    for (int index : keep) ModifyState(index, 0, LVIS_SELECTED, 0);
    if (!keep.empty()) {
        ModifyState(keep.back(), 0, LVIS_FOCUSED, 0);
        SendMessage(m_list, LVM_SETSELECTIONMARK, 0, keep.back());
    }
}

std::vector<int> ResultList::Selected() const {
    std::vector<int> out;
    if (m_list == nullptr) return out;
    for (int i = static_cast<int>(SendMessage(m_list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
         i >= 0 && i < Count() && out.size() <= m_rows.size();
         i = static_cast<int>(SendMessage(m_list, LVM_GETNEXTITEM, static_cast<WPARAM>(i), LVNI_SELECTED)))
        out.push_back(i);
    return out;
}

LPARAM ResultList::ParamAt(int index) const {
    LVITEMA item{};
    item.mask = LVIF_PARAM;
    item.iItem = index;
    if (m_list == nullptr || SendMessage(m_list, LVM_GETITEM, 0, reinterpret_cast<LPARAM>(&item)) == 0) return 0;
    return item.lParam;
}

std::string ResultList::TextAt(int index, bool* callback) const {
    char buffer[1024] = {};
    LVITEMA item{};
    item.mask = LVIF_TEXT;
    item.iItem = index;
    item.pszText = buffer;
    item.cchTextMax = sizeof buffer;
    SendMessage(m_list, LVM_GETITEM, 0, reinterpret_cast<LPARAM>(&item));
    bool isCallback = item.pszText == LPSTR_TEXTCALLBACK;
    if (callback != nullptr) *callback = isCallback;
    return isCallback ? std::string() : std::string(buffer);
}

void ResultList::SetTextAt(int index, const std::string& text) {
    if (index < 0 || index >= Count()) return;
    m_rows[static_cast<size_t>(index)].text = Widen(text);
    LVITEMA item{};
    item.iSubItem = 0;
    item.pszText = const_cast<char*>(text.c_str());
    SendMessage(m_list, LVM_SETITEMTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item));
}

void ResultList::SyncColumns() {
    if (m_list == nullptr) return;
    bool same = columns.size() == m_shownColumns.size();
    for (size_t i = 0; same && i < columns.size(); ++i)
        same = columns[i].title == m_shownColumns[i].title && columns[i].width == m_shownColumns[i].width &&
               columns[i].format == m_shownColumns[i].format;
    if (same) return;
    int before = ColumnCount(m_shownColumns);
    while (SendMessage(m_list, LVM_DELETECOLUMN, 0, 0) != 0) {
    }
    for (size_t i = 0; i < columns.size(); ++i) {
        std::string title = Narrow(columns[i].title);
        LVCOLUMNA column{};
        column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT | LVCF_SUBITEM;
        column.pszText = const_cast<char*>(title.c_str());
        column.cx = columns[i].width;
        column.fmt = columns[i].format;
        column.iSubItem = static_cast<int>(i);
        SendMessage(m_list, LVM_INSERTCOLUMN, i, reinterpret_cast<LPARAM>(&column));
    }
    int after = ColumnCount(columns);
    if (after > before)
        for (int i = 0; i < Count(); ++i) MarkSubItemCallbacks(i, before, after);
    m_shownColumns = columns;
}

}  // namespace kv::mmc
