#include "console/pages/MonFilesPage.h"

#include <vector>

#include "common/DebugLog.h"
#include "console/data/Links.h"
#include "console/module/ModuleStartup.h"
#include "console/nodes/ProfileNode.h"
#include "console/report/ScannedFilesReport.h"
#include "console/resources/resource.h"
#include "console/snapin/ComponentData.h"
#include "console/tree/FileRules.h"
#include "platform/fs/Attributes.h"
#include "platform/fs/Drives.h"
#include "platform/shell/ShellInfo.h"

CMonFilesPage::CMonFilesPage(CProfileNode* node)
    : CPropertyPage(ConsoleModuleHandle(), IDD_MONFILES_PAGE), m_pNode(node) {
    OnCommandFrom(IDC_SHOW_ALL, BN_CLICKED,
                  [this] { ShowScannedFilesReport(m_pNode->m_pComponentData, m_pNode->m_record.id); });
}

BOOL CMonFilesPage::OnInitDialog() {
    CPropertyPage::OnInitDialog();
    m_list.SubclassDlgItem(IDC_MONITORED_LIST, this);
    m_icons = ImageList_Create(16, 16, ILC_COLOR32 | ILC_MASK, 0, 8);
    m_list.SetImageList(m_icons, LVSIL_SMALL);
    return TRUE;
}

int CMonFilesPage::IconOf(const std::string& path) {
    SHFILEINFOA info{};
    if (SHGetFileInfoA(path.c_str(), 0, &info, sizeof info, SHGFI_SYSICONINDEX | SHGFI_SMALLICON) == 0) return -1;
    const std::string name = kv::platform::SystemImageName(info.iIcon);
    if (name.empty()) return -1;
    auto it = m_iconIndex.find(name);
    if (it != m_iconIndex.end()) return it->second;
    const int index = ImageList_AddNamed(m_icons, name.c_str());
    m_iconIndex.emplace(name, index);
    return index;
}

BOOL CMonFilesPage::AddItem(const std::string& path) {
    if (++m_count > MONITORED_LIST_LIMIT) return FALSE;
    m_list.InsertItem(m_list.GetItemCount(), path.c_str(), IconOf(path));
    return TRUE;
}

BOOL CMonFilesPage::ListItems(const std::string& folder) {
    CConsoleData& data = m_pNode->m_pComponentData->m_data;
    const LONG id = m_pNode->m_record.id;
    // Entries first, so that the listing is closed before going deeper.
    std::vector<std::string> entries;
    ListFolder(folder, [&](const WIN32_FIND_DATAA& entry) {
        std::string path = folder + entry.cFileName;
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) path += '\\';
        entries.push_back(std::move(path));
    });
    for (const std::string& path : entries) {
        const bool isFolder = path.back() == '\\';
        if (GetEffectiveProfile(data, path) != id) {
            if (isFolder && CountExceptions(data, path, ExceptionCount::Page) > 0 && !ListItems(path)) return FALSE;
            continue;
        }
        if (!AddItem(path)) return FALSE;
        if (isFolder && !ListItems(path)) return FALSE;
    }
    return TRUE;
}

BOOL CMonFilesPage::OnSetActive() {
    CPropertyPage::OnSetActive();
    try {
        CWaitCursor wait;
        m_list.SetRedraw(FALSE);
        m_list.DeleteAllItems();
        ImageList_Remove(m_icons, -1);
        m_iconIndex.clear();
        m_count = 0;

        CConsoleData& data = m_pNode->m_pComponentData->m_data;
        InitFileProfLnk(data);
        const LONG id = m_pNode->m_record.id;
        for (char letter = 'A'; letter <= 'Z'; ++letter) {
            const std::string root = std::string(1, letter) + ":\\";
            const UINT type = GetDriveTypeA(root.c_str());
            if (type != DRIVE_FIXED && type != DRIVE_UNKNOWN) continue;
            if (GetEffectiveProfile(data, root) != id && CountExceptions(data, root, ExceptionCount::Page) <= 0) continue;
            if (!ListItems(root)) break;
        }
    } catch (...) {
        WriteDebugLog(1, "Unexpected error in CMonFilesPage::OnSetActive");
    }
    m_list.SetRedraw(TRUE);
    GetDlgItem(IDC_SHOW_ALL)->EnableWindow(m_list.GetItemCount() > 0);
    return TRUE;
}
