// ScanItem: one drive, folder or file met by the walk, and ItemList, the
// lists the walk runs on.
#pragma once

#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "platform/win/WinTypes.h"

class ItemList;

struct ScanItem {
    ScanItem();
    ~ScanItem();
    ScanItem(const ScanItem&) = delete;
    ScanItem& operator=(const ScanItem&) = delete;
    ScanItem(ScanItem&&) noexcept;

    std::unique_ptr<ItemList> children;  // present while the item is walked
    std::string drive;     // upper-case letter without ":"
    std::string folder;    // below the drive root, without leading or final "\"
    std::string name;      // files only
    std::string md5;       // files only; empty when not computed
    std::string owner;     // DOMAIN\account; empty when not read
    std::string type;      // "ftDrive", "ftDir", "ftFile", "ftNA"
    std::string fullPath;  // overrides the path built from the fields above
    BYTE attributes = 0;
    LONG size = 0;         // low 32 bits of the size, read as signed
    bool hasTimes = false; // drives have none
    time_t lastWriteTime = 0;
    time_t lastAccessTime = 0;
    time_t creationTime = 0;
    DWORD inCurrentJob = 0;
};

// The path the scope rules compare: the full path when set, otherwise
// C:\ for a drive, C:\WINNT\SYSTEM32\ for a folder, C:\WINNT\NOTEPAD.EXE for
// a file.
std::string ItemPath(const ScanItem& item);

// An ordered list of items. The drive list owns its items; the lists a
// folder is walked on only reference entries that the walk owns.
class ItemList {
public:
    explicit ItemList(bool ownsItems = false) : m_ownsItems(ownsItems) {}
    ~ItemList() { RemoveAll(); }
    ItemList(const ItemList&) = delete;
    ItemList& operator=(const ItemList&) = delete;

    void AddTail(ScanItem* item) { m_items.push_back(item); }
    bool IsEmpty() const { return m_items.empty(); }
    size_t GetCount() const { return m_items.size(); }
    ScanItem* GetHead() const { return m_items.empty() ? nullptr : m_items.front(); }
    // Takes the first item off the list; the caller owns it afterwards.
    ScanItem* RemoveHead();
    void RemoveAll();

private:
    bool m_ownsItems;
    std::vector<ScanItem*> m_items;
};
