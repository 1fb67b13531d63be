#include "console/dialogs/AddExtDlg.h"

#include "common/ResourceModule.h"
#include "console/module/ModuleStartup.h"
#include "console/resources/resource.h"
#include "console/settings/ExtensionName.h"

CAddExtDlg::CAddExtDlg(CWnd* parent) : CDialog(ConsoleModuleHandle(), IDD_ADD_EXTENSION, parent) {}

BOOL CAddExtDlg::OnInitDialog() {
    SetWindowText(ResourceText(18).c_str());
    SendDlgItemMessage(IDC_EXTENSION, EM_LIMITTEXT, MAX_PATH);
    return CDialog::OnInitDialog();
}

void CAddExtDlg::OnOK() {
    std::string text;
    GetDlgItemText(IDC_EXTENSION, text);
    // A text the engine would ignore or misread is refused here, where the
    // user can still correct it, rather than written to the file.
    if (!CleanExtension(text)) {
        MessageBox(ResourceText(1201).c_str(), ResourceText(59).c_str(), MB_OK | MB_ICONEXCLAMATION);
        if (CWnd* box = GetDlgItem(IDC_EXTENSION)) box->SetFocus();
        return;
    }
    m_strExtension = text;
    EndDialog(IDOK);
}
