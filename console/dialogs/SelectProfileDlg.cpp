#include "console/dialogs/SelectProfileDlg.h"

#include "console/module/ModuleStartup.h"
#include "console/resources/resource.h"

namespace {

UINT TemplateOf(SelectWording wording) {
    switch (wording) {
        case SelectWording::File: return IDD_SELECT_PROFILE_FILE;
        case SelectWording::Folder: return IDD_SELECT_PROFILE_FOLDER;
        default: return IDD_SELECT_PROFILE_MULTI;
    }
}

}  // namespace

CSelectProfileDlg::CSelectProfileDlg(SelectWording wording, const std::vector<CProfileEntry>& profiles, LONG current,
                                     bool anyProfile)
    : CDialog(ConsoleModuleHandle(), TemplateOf(wording)), m_wording(wording), m_profiles(profiles) {
    m_choice.profile = current;
    m_choice.thisOnly = wording == SelectWording::File;
    m_choice.anyProfile = anyProfile;
}

void CSelectProfileDlg::DoDataExchange(CDataExchange* dx) { DDX_Control(dx, IDC_PROFILE_LIST, m_list); }

BOOL CSelectProfileDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    m_list.InsertColumn(0, "", LVCFMT_LEFT, 300);
    int selected = 0;
    for (size_t i = 0; i < m_profiles.size(); ++i) {
        int at = m_list.InsertItem(static_cast<int>(i), m_profiles[i].name.c_str());
        m_list.SetItemData(at, static_cast<DWORD_PTR>(i));
        if (m_profiles[i].id == m_choice.profile) selected = at;
    }
    if (!m_profiles.empty()) {
        m_list.SetItemState(selected, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
        m_list.EnsureVisible(selected, FALSE);
    }
    if (m_wording != SelectWording::File) CheckRadioButton(IDC_THIS_ONLY, IDC_SUBTREE, IDC_SUBTREE);
    CheckDlgButton(IDC_ANY_PROFILE, m_choice.anyProfile ? BST_CHECKED : BST_UNCHECKED);
    return TRUE;
}

void CSelectProfileDlg::OnOK() {
    int at = m_list.GetNextItem(-1, LVNI_SELECTED);
    // Nothing chosen is no answer: the dialog stays until a job is picked.
    if (at < 0) return;
    size_t index = static_cast<size_t>(m_list.GetItemData(at));
    if (index >= m_profiles.size()) return;
    m_choice.profile = m_profiles[index].id;
    m_choice.thisOnly = m_wording == SelectWording::File || IsDlgButtonChecked(IDC_THIS_ONLY) == BST_CHECKED;
    m_choice.anyProfile = IsDlgButtonChecked(IDC_ANY_PROFILE) == BST_CHECKED;
    EndDialog(IDOK);
}

BOOL AskItemProfile(SelectWording wording, const std::vector<CProfileEntry>& profiles, LONG current, bool anyProfile,
                    CProfileChoice& choice) {
    CSelectProfileDlg dialog(wording, profiles, current, anyProfile);
    if (dialog.DoModal() != IDOK) return FALSE;
    choice = dialog.m_choice;
    return TRUE;
}
