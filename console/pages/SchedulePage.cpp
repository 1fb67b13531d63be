#include "console/pages/SchedulePage.h"

#include "common/ResourceModule.h"
#include "console/module/ModuleStartup.h"
#include "console/nodes/ProfileNode.h"
#include "console/resources/resource.h"
#include "console/task/ScheduledTask.h"
#include "platform/ui/MessageBox.h"

namespace {

const int kFrequencies[] = {IDC_EVERY, IDC_DAILY, IDC_WEEKLY, IDC_MONTHLY};

int FrequencyControl(DWORD kind) {
    switch (kind) {
        case SCHEDULE_EVERY_HOURS: return IDC_EVERY;
        case SCHEDULE_WEEKLY: return IDC_WEEKLY;
        case SCHEDULE_MONTHLY: return IDC_MONTHLY;
        default: return IDC_DAILY;
    }
}

DWORD KindOf(int control) {
    switch (control) {
        case IDC_EVERY: return SCHEDULE_EVERY_HOURS;
        case IDC_WEEKLY: return SCHEDULE_WEEKLY;
        case IDC_MONTHLY: return SCHEDULE_MONTHLY;
        default: return SCHEDULE_DAILY;
    }
}

// The hours between runs: 1 to 23, digits only; 0 when there is none.
DWORD ParseHours(const std::string& text) {
    if (text.empty() || text.size() > 2) return 0;
    DWORD value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return 0;
        value = value * 10 + static_cast<DWORD>(c - '0');
    }
    return value <= SCHEDULE_MAX_HOURS ? value : 0;
}

}  // namespace

CSchedulePage::CSchedulePage(CProfileNode* node)
    : CPropertyPage(ConsoleModuleHandle(), IDD_SCHEDULE_PAGE), m_pNode(node) {
    for (int id : {IDC_NOT_SCHEDULED, IDC_SCHEDULED, IDC_EVERY, IDC_DAILY, IDC_WEEKLY, IDC_MONTHLY})
        OnCommandFrom(id, BN_CLICKED, [this] {
            EnableControls();
            Changed();
        });
    OnCommandFrom(IDC_HOURS, EN_CHANGE, [this] { HoursChanged(); });
    OnNotifyFrom(IDC_START_DATE, DTN_DATETIMECHANGE, [this](NMHDR*, LRESULT*) { PickerChanged(IDC_START_DATE); });
    OnNotifyFrom(IDC_START_TIME, DTN_DATETIMECHANGE, [this](NMHDR*, LRESULT*) { PickerChanged(IDC_START_TIME); });
    OnCommandFrom(IDC_SCAN_NOW, BN_CLICKED, [this] { ScanNow(); });
}

BOOL CSchedulePage::OnInitDialog() {
    CPropertyPage::OnInitDialog();
    m_filling = true;
    m_hours.SubclassDlgItem(IDC_HOURS, this);
    m_date.SubclassDlgItem(IDC_START_DATE, this);
    m_time.SubclassDlgItem(IDC_START_TIME, this);
    m_hours.SetLimitText(2);
    m_hours.SetWindowText("2");
    CheckRadioButton(IDC_NOT_SCHEDULED, IDC_SCHEDULED, IDC_NOT_SCHEDULED);

    CScheduledTask& task = m_pNode->m_task;
    if (task.Load()) {
        CheckRadioButton(IDC_NOT_SCHEDULED, IDC_SCHEDULED, IDC_SCHEDULED);
        CheckRadioButton(IDC_EVERY, IDC_MONTHLY, FrequencyControl(task.m_kind));
        if (task.m_kind == SCHEDULE_EVERY_HOURS) m_hours.SetWindowText(std::to_string(task.m_hours).c_str());
        m_start = task.m_start;
    } else {
        // A frequency is always shown chosen, so that choosing "scheduled"
        // applies what the page shows.
        CheckRadioButton(IDC_EVERY, IDC_MONTHLY, IDC_DAILY);
        GetLocalTime(&m_start);
    }
    m_start.wSecond = 0;
    m_start.wMilliseconds = 0;
    ShowStart();
    EnableControls();
    m_filling = false;
    return TRUE;
}

void CSchedulePage::ShowStart() {
    m_start.wDayOfWeek = DayOfWeek(m_start.wYear, m_start.wMonth, m_start.wDay);
    const bool filling = m_filling;
    m_filling = true;
    m_date.SetTime(&m_start);
    m_time.SetTime(&m_start);
    m_filling = filling;
}

void CSchedulePage::EnableControls() {
    const bool scheduled = IsDlgButtonChecked(IDC_SCHEDULED) == BST_CHECKED;
    for (int id : kFrequencies) GetDlgItem(id)->EnableWindow(scheduled);
    for (int id : {IDC_START_LABEL, IDC_START_DATE, IDC_START_TIME}) GetDlgItem(id)->EnableWindow(scheduled);
    const bool every = scheduled && IsDlgButtonChecked(IDC_EVERY) == BST_CHECKED;
    GetDlgItem(IDC_HOURS)->EnableWindow(every);
    GetDlgItem(IDC_HOURS_LABEL)->EnableWindow(every);
}

void CSchedulePage::Changed() {
    if (!m_filling) SetModified(TRUE);
}

void CSchedulePage::HoursChanged() {
    if (m_filling) return;
    // No run every 0 hours: the box starts over.
    if (m_hours.GetWindowText() == "0") {
        m_filling = true;
        m_hours.SetWindowText("");
        m_filling = false;
    }
    SetModified(TRUE);
}

void CSchedulePage::PickerChanged(int id) {
    if (m_filling) return;
    SYSTEMTIME picked{};
    if ((id == IDC_START_DATE ? m_date : m_time).GetTime(&picked) != GDT_VALID) return;
    if (id == IDC_START_DATE) {
        m_start.wYear = picked.wYear;
        m_start.wMonth = picked.wMonth;
        m_start.wDay = picked.wDay;
    } else {
        m_start.wHour = picked.wHour;
        m_start.wMinute = picked.wMinute;
    }
    ShowStart();
    SetModified(TRUE);
}

void CSchedulePage::ScanNow() { m_pNode->m_task.ScanNow(GetSafeHwnd()); }

BOOL CSchedulePage::OnApply() {
    if (!IsModified()) return TRUE;
    CScheduledTask& task = m_pNode->m_task;
    bool scheduled = IsDlgButtonChecked(IDC_SCHEDULED) == BST_CHECKED;
    if (!scheduled) {
        task.Delete();
    } else {
        const int choice = GetCheckedRadioButton(IDC_EVERY, IDC_MONTHLY);
        const DWORD kind = KindOf(choice);
        DWORD hours = 0;
        if (kind == SCHEDULE_EVERY_HOURS) {
            hours = ParseHours(m_hours.GetWindowText());
            if (hours == 0) {
                std::string text, caption;
                LoadResourceString(82, text);
                LoadResourceString(59, caption);
                MessageBoxA(GetSafeHwnd(), text.c_str(), caption.c_str(), MB_OK | MB_ICONSTOP);
                m_hours.SetFocus();
                return FALSE;
            }
        }
        task.m_kind = kind;
        task.m_hours = hours;
        task.m_start = m_start;
        // ENABLED follows whether the work item exists: a job whose work
        // item could not be written must not show as enabled.
        scheduled = task.Save() != FALSE;
    }
    // The toggle writes the opposite of the flag: scheduled ends enabled
    // (and saved again), unscheduled ends disabled (and deleted).
    m_pNode->m_record.enabled = !scheduled;
    m_pNode->ToggleEnabled();
    SetModified(FALSE);
    return TRUE;
}
