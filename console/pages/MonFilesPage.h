// "Files monitored": the first items the scan job covers, and the way to the
// full report.
#pragma once

#include <map>
#include <string>

#include "platform/ui/AfxWin.h"

class CProfileNode;

// More than this many items and the page sends the user to the report.
#define MONITORED_LIST_LIMIT 40

class CMonFilesPage : public CPropertyPage {
public:
    explicit CMonFilesPage(CProfileNode* node);

    BOOL OnInitDialog() override;
    BOOL OnSetActive() override;

private:
    // Lists the job's items in a folder ("...\"); FALSE once the list is full.
    BOOL ListItems(const std::string& folder);
    // TRUE while the list has room; FALSE when the item made it overflow.
    BOOL AddItem(const std::string& path);
    int IconOf(const std::string& path);

    CProfileNode* m_pNode;
    CListCtrl m_list;
    HIMAGELIST m_icons = nullptr;  // the list's own: it goes with the list
    std::map<std::string, int> m_iconIndex;
    int m_count = 0;
};
