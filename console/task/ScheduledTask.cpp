#include "console/task/ScheduledTask.h"

#include <cstring>
#include <vector>

#include "common/DebugLog.h"
#include "common/ResourceModule.h"
#include "common/Settings.h"
#include "console/task/TaskSchedulerAccess.h"
#include "platform/shell/ShellExecute.h"

namespace {

// Releases a scheduler object at the end of a scope.
template <typename T>
struct Held {
    T* p = nullptr;
    Held() = default;
    Held(const Held&) = delete;
    Held& operator=(const Held&) = delete;
    ~Held() {
        if (p != nullptr) p->Release();
    }
};

bool WorkItemExists(ITaskScheduler* scheduler, const std::string& name) {
    Held<IEnumWorkItems> items;
    if (FAILED(scheduler->Enum(&items.p)) || items.p == nullptr) return false;
    std::vector<std::string> names;
    ULONG fetched = 0;
    while (SUCCEEDED(items.p->Next(16, names, &fetched)) && fetched > 0) {
        for (const std::string& file : names)
            if (file.substr(0, file.find('.')) == name) return true;
        names.clear();
    }
    return false;
}

void FillTrigger(const CScheduledTask& task, TASK_TRIGGER& trigger) {
    std::memset(&trigger, 0, sizeof trigger);
    trigger.cbTriggerSize = sizeof trigger;
    trigger.wBeginYear = task.m_start.wYear;
    trigger.wBeginMonth = task.m_start.wMonth;
    trigger.wBeginDay = task.m_start.wDay;
    trigger.wStartHour = task.m_start.wHour;
    trigger.wStartMinute = task.m_start.wMinute;
    switch (task.m_kind) {
        case SCHEDULE_EVERY_HOURS:
            trigger.TriggerType = TASK_TIME_TRIGGER_DAILY;
            trigger.Type.Daily.DaysInterval = 1;
            trigger.MinutesInterval = task.m_hours * 60;
            // The repetition covers the whole day, so the job runs every N
            // hours around the clock and starts afresh at the start time.
            trigger.MinutesDuration = 24 * 60;
            break;
        case SCHEDULE_DAILY:
            trigger.TriggerType = TASK_TIME_TRIGGER_DAILY;
            trigger.Type.Daily.DaysInterval = 1;
            break;
        case SCHEDULE_WEEKLY:
            trigger.TriggerType = TASK_TIME_TRIGGER_WEEKLY;
            trigger.Type.Weekly.WeeksInterval = 1;
            trigger.Type.Weekly.rgfDaysOfTheWeek =
                static_cast<WORD>(1u << DayOfWeek(task.m_start.wYear, task.m_start.wMonth, task.m_start.wDay));
            break;
        case SCHEDULE_MONTHLY:
            trigger.TriggerType = TASK_TIME_TRIGGER_MONTHLYDATE;
            if (task.m_start.wDay >= 1 && task.m_start.wDay <= 31)
                trigger.Type.MonthlyDate.rgfDays = 1u << (task.m_start.wDay - 1);
            trigger.Type.MonthlyDate.rgfMonths = TASK_ALL_MONTHS;
            break;
        default:
            trigger.TriggerType = TASK_TIME_TRIGGER_ONCE;
            break;
    }
}

}  // namespace

WORD DayOfWeek(WORD year, WORD month, WORD day) {
    // Sakamoto's method on the proleptic Gregorian calendar.
    static const int offsets[] = {0, 3, 2, 5, 0, 3, 5, 1, 4, 6, 2, 4};
    int y = year;
    if (month < 3) y -= 1;
    const int m = month >= 1 && month <= 12 ? month : 1;
    return static_cast<WORD>((y + y / 4 - y / 100 + y / 400 + offsets[m - 1] + day) % 7);
}

void CScheduledTask::InitDefaults(LONG profileId) {
    m_name = "Tsl3 Scan " + std::to_string(profileId);
    m_kind = SCHEDULE_NONE;
    const size_t length = std::strlen(g_szDataPath);
    // DATAPATH names the program folder's "Data"; a shorter one names no folder.
    m_application = length >= 4 ? std::string(g_szDataPath, length - 4) + "KvLaunch.exe" : std::string();
    m_parameters = std::to_string(profileId);
    LoadResourceString(20, m_comment);
    m_start = SYSTEMTIME{};
    m_hours = 0;
}

BOOL CScheduledTask::Load() {
    if (m_name.empty()) return FALSE;
    Held<ITaskScheduler> scheduler;
    scheduler.p = OpenTaskScheduler();
    if (scheduler.p == nullptr || !WorkItemExists(scheduler.p, m_name)) return FALSE;

    Held<ITask> task;
    if (FAILED(scheduler.p->Activate(m_name.c_str(), &task.p)) || task.p == nullptr) return FALSE;
    Held<ITaskTrigger> trigger;
    TASK_TRIGGER t{};
    t.cbTriggerSize = sizeof t;
    if (FAILED(task.p->GetTrigger(0, &trigger.p)) || trigger.p == nullptr || FAILED(trigger.p->GetTrigger(&t)))
        return FALSE;

    switch (t.TriggerType) {
        case TASK_TIME_TRIGGER_DAILY:
            if (t.MinutesDuration > 0) {
                m_kind = SCHEDULE_EVERY_HOURS;
                m_hours = t.MinutesInterval / 60;
            } else {
                m_kind = SCHEDULE_DAILY;
            }
            break;
        case TASK_TIME_TRIGGER_WEEKLY: m_kind = SCHEDULE_WEEKLY; break;
        case TASK_TIME_TRIGGER_MONTHLYDATE: m_kind = SCHEDULE_MONTHLY; break;
        default: break;
    }
    m_start = SYSTEMTIME{};
    m_start.wYear = t.wBeginYear;
    m_start.wMonth = t.wBeginMonth;
    m_start.wDay = t.wBeginDay;
    m_start.wDayOfWeek = DayOfWeek(t.wBeginYear, t.wBeginMonth, t.wBeginDay);
    m_start.wHour = t.wStartHour;
    m_start.wMinute = t.wStartMinute;

    std::string text;
    if (SUCCEEDED(task.p->GetApplicationName(text))) m_application = text;
    if (SUCCEEDED(task.p->GetParameters(text))) m_parameters = text;
    if (SUCCEEDED(task.p->GetComment(text))) m_comment = text;
    return TRUE;
}

BOOL CScheduledTask::Save() {
    if (m_name.empty() || m_application.empty() || m_start.wYear == 0) return FALSE;
    if (SaveWorkItem()) return TRUE;
    // The user is not told (the page has no word for it); the log keeps why
    // the job has no work item.
    WriteDebugLogF(1, "The scheduled task %s could not be saved", m_name.c_str());
    return FALSE;
}

BOOL CScheduledTask::SaveWorkItem() {
    Held<ITaskScheduler> scheduler;
    scheduler.p = OpenTaskScheduler();
    if (scheduler.p == nullptr) return FALSE;
    if (WorkItemExists(scheduler.p, m_name)) scheduler.p->Delete(m_name.c_str());
    if (m_kind == SCHEDULE_NONE) return TRUE;

    Held<ITask> task;
    if (FAILED(scheduler.p->NewWorkItem(m_name.c_str(), &task.p)) || task.p == nullptr) return FALSE;
    if (!m_application.empty()) task.p->SetApplicationName(m_application.c_str());
    if (!m_parameters.empty()) task.p->SetParameters(m_parameters.c_str());
    task.p->SetComment(m_comment.c_str());
    task.p->SetFlags(TASK_FLAG_INTERACTIVE | TASK_FLAG_DONT_START_IF_ON_BATTERIES | TASK_FLAG_KILL_IF_GOING_ON_BATTERIES);

    WORD index = 0;
    Held<ITaskTrigger> trigger;
    if (FAILED(task.p->CreateTrigger(&index, &trigger.p)) || trigger.p == nullptr) return FALSE;
    TASK_TRIGGER t;
    FillTrigger(*this, t);
    if (FAILED(trigger.p->SetTrigger(&t))) return FALSE;
    // The local system account: no name, no password.
    task.p->SetAccountInformation("", nullptr);
    return SUCCEEDED(task.p->Save(nullptr, TRUE)) ? TRUE : FALSE;
}

BOOL CScheduledTask::Delete() {
    Held<ITaskScheduler> scheduler;
    scheduler.p = OpenTaskScheduler();
    if (scheduler.p == nullptr) return FALSE;
    return SUCCEEDED(scheduler.p->Delete(m_name.c_str())) ? TRUE : FALSE;
}

BOOL CScheduledTask::ScanNow(HWND owner) const {
    HINSTANCE result = ShellExecuteA(owner, "open", m_application.c_str(), m_parameters.c_str(), nullptr, SW_HIDE);
    if (reinterpret_cast<intptr_t>(result) > 32) return TRUE;
    WriteDebugLogF(1, "Scan now could not start %s (error %ld)", m_application.c_str(),
                   static_cast<long>(reinterpret_cast<intptr_t>(result)));
    return FALSE;
}
