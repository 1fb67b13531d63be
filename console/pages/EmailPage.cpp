#include "console/pages/EmailPage.h"

#include "common/ResourceModule.h"
#include "console/data/ProfileRecord.h"
#include "console/data/SqlText.h"
#include "console/data/Statements.h"
#include "console/module/ModuleStartup.h"
#include "console/nodes/ProfileNode.h"
#include "console/nodes/ProfilesNode.h"
#include "console/pages/EmailAddress.h"
#include "console/resources/resource.h"
#include "console/snapin/ComponentData.h"
#include "platform/mmc/SnapIn.h"
#include "platform/ui/MessageBox.h"

namespace {

// A value the one-byte PRIORITY column keeps as typed: 1 to 255, digits
// only (anything else would also change the statement's meaning).
bool ParseImportance(const std::string& text, int& value) {
    if (text.empty() || text.size() > 3) return false;
    value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + (c - '0');
    }
    return value >= 1 && value <= 255;
}

}  // namespace

std::string EmailUpdateStatement(LONG id, const std::string& importance, const std::string& from,
                                 const std::string& to, const std::string& subject) {
    // Quotes are doubled so that what the user typed is what is stored.
    return FormatSql(SQL_UPDATE_PROFILE_MAIL, importance.c_str(), QuoteSql(from).c_str(), QuoteSql(to).c_str(),
                     QuoteSql(subject).c_str(), static_cast<int>(id));
}

CEmailPage::CEmailPage(CProfileNode* node, LONG_PTR notifyHandle)
    : CPropertyPage(ConsoleModuleHandle(), IDD_EMAIL_PAGE), m_pNode(node), m_notifyHandle(notifyHandle) {
    for (int id : {IDC_MAIL_FROM, IDC_MAIL_TO, IDC_MAIL_SUBJECT, IDC_IMPORTANCE})
        OnCommandFrom(id, EN_CHANGE, [this] { Changed(); });
}

CEmailPage::~CEmailPage() {
    if (m_notifyHandle != 0) MMCFreeNotifyHandle(m_notifyHandle);
}

BOOL CEmailPage::OnInitDialog() {
    CPropertyPage::OnInitDialog();
    m_filling = true;
    m_spin.SubclassDlgItem(IDC_IMPORTANCE_SPIN, this);
    m_spin.SetBuddy(GetDlgItem(IDC_IMPORTANCE));
    m_spin.SetRange(1, 5);
    const CProfileRecord& record = m_pNode->m_record;
    SetDlgItemText(IDC_MAIL_FROM, record.mailFrom.c_str());
    SetDlgItemText(IDC_MAIL_TO, record.mailTo.c_str());
    SetDlgItemText(IDC_MAIL_SUBJECT, record.subject.c_str());
    SetDlgItemText(IDC_IMPORTANCE, std::to_string(record.priority).c_str());
    m_filling = false;
    return TRUE;
}

void CEmailPage::Changed() {
    if (!m_filling) SetModified(TRUE);
}

void CEmailPage::Refuse(int focusId) {
    std::string text, caption;
    LoadResourceString(75, text);
    LoadResourceString(59, caption);
    MessageBoxA(GetSafeHwnd(), text.c_str(), caption.c_str(), MB_OK | MB_ICONSTOP);
    if (CWnd* control = GetDlgItem(focusId)) control->SetFocus();
}

BOOL CEmailPage::OnApply() {
    if (!IsModified()) return TRUE;
    std::string from, to, subject, importance;
    GetDlgItemText(IDC_MAIL_FROM, from);
    GetDlgItemText(IDC_MAIL_TO, to);
    GetDlgItemText(IDC_MAIL_SUBJECT, subject);
    GetDlgItemText(IDC_IMPORTANCE, importance);

    int priority = 0;
    if (!ParseImportance(importance, priority)) return FALSE;
    if (!IsSingleEmailAddress(from)) {
        Refuse(IDC_MAIL_FROM);
        return FALSE;
    }
    if (to.empty() || !IsEmailAddressList(to)) {
        Refuse(IDC_MAIL_TO);
        return FALSE;
    }

    CProfileRecord& record = m_pNode->m_record;
    record.mailFrom = from;
    record.mailTo = to;
    record.subject = subject;
    record.priority = static_cast<BYTE>(priority & 0xFF);
    g_strDefaultMailTo = to;
    g_strDefaultMailFrom = from;

    CComponentData* owner = m_pNode->m_pComponentData;
    owner->m_data.ExecuteStatement(EmailUpdateStatement(record.id, std::to_string(priority), from, to, subject),
                                   "Error in CEmailPage::OnApply");
    owner->UpdateAllViews(m_pNode->m_pParent);
    SetModified(FALSE);
    return TRUE;
}
