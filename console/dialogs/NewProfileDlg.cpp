#include "console/dialogs/NewProfileDlg.h"

#include "console/module/ModuleStartup.h"
#include "console/resources/resource.h"

CNewProfileDlg::CNewProfileDlg() : CDialog(ConsoleModuleHandle(), IDD_NEW_PROFILE) {}

void CNewProfileDlg::DoDataExchange(CDataExchange* dx) {
    DDX_Text(dx, IDC_PROFILE_NAME, m_strName);
    DDV_MaxChars(dx, m_strName, PROFILE_NAME_CHARS);
}

BOOL AskNewProfileName(std::string& name) {
    CNewProfileDlg dialog;
    if (dialog.DoModal() != IDOK) return FALSE;
    name = dialog.m_strName;
    return TRUE;
}
