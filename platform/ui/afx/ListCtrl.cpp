#include <vector>

#include "platform/ui/afx/Wnd.h"

int CListCtrl::InsertColumn(int column, LPCSTR heading, int format, int width, int subItem) {
    LVCOLUMN info{};
    info.mask = LVCF_TEXT | LVCF_FMT;
    info.pszText = const_cast<LPSTR>(heading);
    info.fmt = format;
    if (width != -1) {
        info.mask |= LVCF_WIDTH;
        info.cx = width;
    }
    if (subItem != -1) {
        info.mask |= LVCF_SUBITEM;
        info.iSubItem = subItem;
    }
    return static_cast<int>(SendMessage(LVM_INSERTCOLUMN, static_cast<WPARAM>(column), reinterpret_cast<LPARAM>(&info)));
}

int CListCtrl::InsertItem(int index, LPCSTR text) {
    LVITEM item{};
    item.mask = LVIF_TEXT;
    item.iItem = index;
    item.pszText = const_cast<LPSTR>(text);
    return InsertItem(&item);
}

int CListCtrl::InsertItem(int index, LPCSTR text, int image) {
    LVITEM item{};
    item.mask = LVIF_TEXT | LVIF_IMAGE;
    item.iItem = index;
    item.pszText = const_cast<LPSTR>(text);
    item.iImage = image;
    return InsertItem(&item);
}

BOOL CListCtrl::SetItemText(int item, int subItem, LPCSTR text) {
    LVITEM info{};
    info.iSubItem = subItem;
    info.pszText = const_cast<LPSTR>(text);
    return static_cast<BOOL>(SendMessage(LVM_SETITEMTEXT, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(&info)));
}

int CListCtrl::GetItemText(int item, int subItem, LPSTR buffer, int size) const {
    LVITEM info{};
    info.iSubItem = subItem;
    info.pszText = buffer;
    info.cchTextMax = size;
    return static_cast<int>(SendMessage(LVM_GETITEMTEXT, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(&info)));
}

std::string CListCtrl::GetItemText(int item, int subItem) const {
    // Grows until the text fits: the message cannot say how long it is.
    for (int size = 256;; size *= 4) {
        std::vector<char> buffer(static_cast<size_t>(size), '\0');
        int length = GetItemText(item, subItem, buffer.data(), size);
        if (length < size - 1 || size >= (1 << 22)) return std::string(buffer.data(), static_cast<size_t>(length));
    }
}

BOOL CListCtrl::SetItemData(int item, DWORD_PTR data) {
    LVITEM info{};
    info.mask = LVIF_PARAM;
    info.iItem = item;
    info.lParam = static_cast<LPARAM>(data);
    return SetItem(&info);
}

DWORD_PTR CListCtrl::GetItemData(int item) const {
    LVITEM info{};
    info.mask = LVIF_PARAM;
    info.iItem = item;
    return GetItem(&info) ? static_cast<DWORD_PTR>(info.lParam) : 0;
}

BOOL CListCtrl::SetItemState(int item, UINT state, UINT mask) {
    LVITEM info{};
    info.state = state;
    info.stateMask = mask;
    return static_cast<BOOL>(SendMessage(LVM_SETITEMSTATE, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(&info)));
}

CImageList* CListCtrl::SetImageList(CImageList* list, int which) {
    SetImageList(list != nullptr ? list->m_hImageList : nullptr, which);
    return nullptr;
}
