#include "platform/mmc/host/ResultList.h"

namespace kv::mmc {

HRESULT ResultList::Insert(RESULTDATAITEM* item) {
    if (item == nullptr) return E_POINTER;
    ResultItem created;
    created.id = m_next++;
    if (item->mask & RDI_STR) {
        created.textCallback = item->str == MMC_CALLBACK;
        if (!created.textCallback && item->str) created.text = item->str;
    }
    if (item->mask & RDI_IMAGE) created.image = item->nImage;
    if (item->mask & RDI_PARAM) created.lParam = item->lParam;
    if (item->mask & RDI_STATE) created.state = item->nState;
    if (item->mask & RDI_INDENT) created.indent = item->iIndent;
    int index = static_cast<int>(m_items.size());
    if ((item->mask & RDI_INDEX) && item->nIndex >= 0 && item->nIndex < index) index = item->nIndex;
    m_items.insert(m_items.begin() + index, created);
    item->itemID = created.id;
    item->nIndex = index;
    return S_OK;
}

int ResultList::IndexOf(HRESULTITEM id) const {
    for (size_t i = 0; i < m_items.size(); ++i)
        if (m_items[i].id == id) return static_cast<int>(i);
    return -1;
}

ResultItem* ResultList::Find(HRESULTITEM id) {
    int index = IndexOf(id);
    return index < 0 ? nullptr : &m_items[static_cast<size_t>(index)];
}

HRESULT ResultList::Delete(HRESULTITEM id) {
    int index = IndexOf(id);
    if (index < 0) return E_INVALIDARG;
    m_items.erase(m_items.begin() + index);
    return S_OK;
}

HRESULT ResultList::Set(const RESULTDATAITEM& item) {
    int index = item.itemID != 0 ? IndexOf(item.itemID) : item.nIndex;
    if (index < 0 || index >= static_cast<int>(m_items.size())) return E_INVALIDARG;
    ResultItem& target = m_items[static_cast<size_t>(index)];
    // Only the first column's text is kept; other columns always call back.
    if ((item.mask & RDI_STR) && item.nCol == 0) {
        target.textCallback = item.str == MMC_CALLBACK;
        target.text = (!target.textCallback && item.str) ? std::u16string(item.str) : std::u16string();
    }
    if (item.mask & RDI_IMAGE) target.image = item.nImage;
    if (item.mask & RDI_PARAM) target.lParam = item.lParam;
    if (item.mask & RDI_STATE) target.state = item.nState;
    if (item.mask & RDI_INDENT) target.indent = item.iIndent;
    return S_OK;
}

HRESULT ResultList::Get(RESULTDATAITEM* item) const {
    if (item == nullptr) return E_POINTER;
    int index = item->itemID != 0 ? IndexOf(item->itemID) : item->nIndex;
    if (index < 0 || index >= static_cast<int>(m_items.size())) return E_INVALIDARG;
    const ResultItem& source = m_items[static_cast<size_t>(index)];
    item->itemID = source.id;
    item->nIndex = index;
    item->bScopeItem = FALSE;
    if (item->mask & RDI_STR) item->str = source.textCallback ? MMC_CALLBACK : const_cast<LPOLESTR>(source.text.c_str());
    if (item->mask & RDI_IMAGE) item->nImage = source.image;
    if (item->mask & RDI_PARAM) item->lParam = source.lParam;
    if (item->mask & RDI_STATE) item->nState = source.state;
    if (item->mask & RDI_INDENT) item->iIndent = source.indent;
    return S_OK;
}

HRESULT ResultList::FindByLParam(LPARAM lParam, HRESULTITEM* id) const {
    if (id == nullptr) return E_POINTER;
    for (const ResultItem& item : m_items) {
        if (item.lParam == lParam) {
            *id = item.id;
            return S_OK;
        }
    }
    *id = 0;
    return E_FAIL;
}

HRESULT ResultList::Next(RESULTDATAITEM* item) const {
    if (item == nullptr) return E_POINTER;
    UINT wanted = item->nState;
    for (int i = item->nIndex < 0 ? 0 : item->nIndex + 1; i < static_cast<int>(m_items.size()); ++i) {
        const ResultItem& candidate = m_items[static_cast<size_t>(i)];
        if ((candidate.state & wanted) == wanted) {
            item->nIndex = i;
            item->itemID = candidate.id;
            item->lParam = candidate.lParam;
            item->nImage = candidate.image;
            item->nState = candidate.state;
            item->bScopeItem = FALSE;
            return S_OK;
        }
    }
    item->nIndex = -1;
    return S_FALSE;
}

HRESULT ResultList::ModifyState(int index, HRESULTITEM id, UINT add, UINT remove) {
    int at = id != 0 ? IndexOf(id) : index;
    if (at < 0 || at >= static_cast<int>(m_items.size())) return E_INVALIDARG;
    ResultItem& target = m_items[static_cast<size_t>(at)];
    target.state = (target.state & ~remove) | add;
    return S_OK;
}

void ResultList::SelectOnly(const std::vector<HRESULTITEM>& ids) {
    for (ResultItem& item : m_items) {
        bool chosen = false;
        for (HRESULTITEM id : ids) chosen = chosen || id == item.id;
        item.state &= ~(LVIS_SELECTED | LVIS_FOCUSED);
        if (chosen) item.state |= LVIS_SELECTED;
    }
    if (!ids.empty()) {
        if (ResultItem* last = Find(ids.back())) last->state |= LVIS_FOCUSED;
    }
}

}  // namespace kv::mmc
