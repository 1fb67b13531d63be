#include "engine/walk/ScanItem.h"

ScanItem::ScanItem() = default;
ScanItem::~ScanItem() = default;
ScanItem::ScanItem(ScanItem&&) noexcept = default;

std::string ItemPath(const ScanItem& item) {
    if (!item.fullPath.empty()) return item.fullPath;
    std::string path = item.drive + ":\\";
    if (!item.folder.empty()) path += item.folder + "\\";
    return path + item.name;
}

ScanItem* ItemList::RemoveHead() {
    if (m_items.empty()) return nullptr;
    ScanItem* head = m_items.front();
    m_items.erase(m_items.begin());
    return head;
}

void ItemList::RemoveAll() {
    if (m_ownsItems)
        for (ScanItem* item : m_items) delete item;
    // The walk's lists only hold references: an entry is destroyed when it
    // has been processed, whether or not it is still listed here.
    m_items.clear();
}
