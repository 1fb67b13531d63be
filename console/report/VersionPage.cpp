#include "console/report/VersionPage.h"

#include <string>

#include "common/DebugLog.h"
#include "common/ProductStrings.h"
#include "common/ResourceModule.h"
#include "console/module/ModuleStartup.h"
#include "console/report/UpdateCheck.h"
#include "console/resources/resource.h"
#include "platform/registry/Registry.h"
#include "platform/ui/MessageBox.h"
#include "strings/CodeMap.h"

BOOL ReadInstalledBuild(DWORD& build) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, ProductText(PSC_REGISTRY_ROOT), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return FALSE;
    DWORD value = 0;
    DWORD type = 0;
    DWORD size = sizeof value;
    LONG result = RegQueryValueExA(key, "Build", nullptr, &type, reinterpret_cast<LPBYTE>(&value), &size);
    RegCloseKey(key);
    if (result != ERROR_SUCCESS || type != REG_DWORD || size != sizeof value) return FALSE;
    build = value;
    return TRUE;
}

CVersionPage::CVersionPage() : CPropertyPage(ConsoleModuleHandle(), IDD_VERSION_PAGE) {
    OnCommandFrom(IDC_CHECK_VERSION, BN_CLICKED, [this] { OnCheckVersion(); });
}

BOOL CVersionPage::OnInitDialog() {
    CPropertyPage::OnInitDialog();
    try {
        m_bBuildRead = ReadInstalledBuild(m_dwBuild);
        if (!m_bBuildRead) {
            WriteDebugLog(1, "CVersionPage::OnInitDialog. Could not read information from registry");
            return TRUE;
        }
        std::string product = ProductText(PSC_CONSOLE_NAME);
        SetDlgItemText(IDC_VERSION_PRODUCT, product.c_str());
        SetDlgItemText(IDC_VERSION_PRODUCT2, product.c_str());
        SetDlgItemText(IDC_VERSION_DESCRIPTION, ResourceText(30).c_str());
        SetDlgItemText(IDC_VERSION_COPYRIGHT, (ResourceText(32) + " " + ProductText(PSC_PROVIDER)).c_str());
        SetDlgItemText(IDC_VERSION_NUMBER, ProductText(PSC_VERSION));
        SetDlgItemText(IDC_VERSION_BUILD, std::to_string(m_dwBuild).c_str());
    } catch (...) {
        WriteDebugLog(1, "Unexpected error in CVersionPage::OnInitDialog");
    }
    return TRUE;
}

void CVersionPage::OnCheckVersion() {
    try {
        const std::string& caption = SnapinName();
        if (MessageBox(ResourceText(35).c_str(), caption.c_str(), MB_YESNO | MB_ICONQUESTION) != IDYES) return;
        CUpdateCheckDlg wait;
        wait.DoModal();
        UpdateStatusMessage message = DescribeUpdateStatus(wait.m_result, m_dwBuild);
        MessageBox(message.text.c_str(), caption.c_str(), MB_OK | message.icon);
    } catch (...) {
        WriteDebugLog(1, "Unexpected error in CVersionPage::OnCheckVersion");
    }
}
