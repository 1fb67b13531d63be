// The Task Scheduler: ITaskScheduler, ITask, ITaskTrigger and the
// IPersistFile::Save of a work item, as plain reference-counted classes with
// the COM names, result codes and structures. Texts are UTF-8 (the wide
// strings of the COM interfaces are the caller's to convert). An object made
// by CreateTaskScheduler, Activate, NewWorkItem, CreateTrigger or GetTrigger
// starts with one reference and goes at its last Release.
//
// Work items live one per file, $KESTRAVA_ROOT/tasks/<name>.job (format in
// WorkItemFile.h); kvschedule runs them. A file that cannot be read as a work
// item is skipped by Enum with one log line and refused by Activate.
#pragma once

#include <string>
#include <vector>

#include "platform/system/SystemInfo.h"
#include "platform/win/WinTypes.h"

// Trigger types.
enum TASK_TRIGGER_TYPE {
    TASK_TIME_TRIGGER_ONCE = 0,
    TASK_TIME_TRIGGER_DAILY = 1,
    TASK_TIME_TRIGGER_WEEKLY = 2,
    TASK_TIME_TRIGGER_MONTHLYDATE = 3,
    TASK_TIME_TRIGGER_MONTHLYDOW = 4,
    TASK_EVENT_TRIGGER_ON_IDLE = 5,
    TASK_EVENT_TRIGGER_AT_SYSTEMSTART = 6,
    TASK_EVENT_TRIGGER_AT_LOGON = 7
};

struct DAILY {
    WORD DaysInterval;
};
struct WEEKLY {
    WORD WeeksInterval;
    WORD rgfDaysOfTheWeek;
};
struct MONTHLYDATE {
    DWORD rgfDays;  // bit 0 the 1st ... bit 30 the 31st
    WORD rgfMonths;
};
struct MONTHLYDOW {
    WORD wWhichWeek;
    WORD rgfDaysOfTheWeek;
    WORD rgfMonths;
};
union TRIGGER_TYPE_UNION {
    DAILY Daily;
    WEEKLY Weekly;
    MONTHLYDATE MonthlyDate;
    MONTHLYDOW MonthlyDOW;
};

struct TASK_TRIGGER {
    WORD cbTriggerSize;
    WORD Reserved1;
    WORD wBeginYear;
    WORD wBeginMonth;
    WORD wBeginDay;
    WORD wEndYear;
    WORD wEndMonth;
    WORD wEndDay;
    WORD wStartHour;
    WORD wStartMinute;
    DWORD MinutesDuration;
    DWORD MinutesInterval;
    DWORD rgFlags;
    TASK_TRIGGER_TYPE TriggerType;
    TRIGGER_TYPE_UNION Type;
    WORD Reserved2;
    WORD wRandomMinutesInterval;
};
typedef TASK_TRIGGER* PTASK_TRIGGER;

// Days of the week and months of the triggers.
#define TASK_SUNDAY 0x1
#define TASK_MONDAY 0x2
#define TASK_TUESDAY 0x4
#define TASK_WEDNESDAY 0x8
#define TASK_THURSDAY 0x10
#define TASK_FRIDAY 0x20
#define TASK_SATURDAY 0x40
#define TASK_JANUARY 0x1
#define TASK_DECEMBER 0x800
#define TASK_ALL_MONTHS 0xFFF

// Trigger flags.
#define TASK_TRIGGER_FLAG_HAS_END_DATE 0x1
#define TASK_TRIGGER_FLAG_KILL_AT_DURATION_END 0x2
#define TASK_TRIGGER_FLAG_DISABLED 0x4

// Work item flags.
#define TASK_FLAG_INTERACTIVE 0x1
#define TASK_FLAG_DELETE_WHEN_DONE 0x2
#define TASK_FLAG_DISABLED 0x4
#define TASK_FLAG_START_ONLY_IF_IDLE 0x10
#define TASK_FLAG_KILL_ON_IDLE_END 0x20
#define TASK_FLAG_DONT_START_IF_ON_BATTERIES 0x40
#define TASK_FLAG_KILL_IF_GOING_ON_BATTERIES 0x80
#define TASK_FLAG_RUN_ONLY_IF_DOCKED 0x100
#define TASK_FLAG_HIDDEN 0x200

// Work item status (GetStatus) and the scheduler's errors.
#define SCHED_S_TASK_READY ((HRESULT)0x00041300L)
#define SCHED_S_TASK_RUNNING ((HRESULT)0x00041301L)
#define SCHED_S_TASK_DISABLED ((HRESULT)0x00041302L)
#define SCHED_S_TASK_HAS_NOT_RUN ((HRESULT)0x00041303L)
#define SCHED_S_TASK_NO_MORE_RUNS ((HRESULT)0x00041304L)
#define SCHED_S_TASK_NO_VALID_TRIGGERS ((HRESULT)0x00041307L)
#define SCHED_E_TRIGGER_NOT_FOUND ((HRESULT)0x80041309L)
#define SCHED_E_TASK_NOT_READY ((HRESULT)0x8004130AL)
#define SCHED_E_TASK_NOT_RUNNING ((HRESULT)0x8004130BL)
#define SCHED_E_INVALID_TASK ((HRESULT)0x8004130EL)
#define SCHED_E_ACCOUNT_INFORMATION_NOT_SET ((HRESULT)0x8004130FL)
#define SCHED_E_UNKNOWN_OBJECT_VERSION ((HRESULT)0x80041313L)
#define SCHED_E_SERVICE_NOT_RUNNING ((HRESULT)0x80041315L)
// Missing, existing and malformed files.
#define KV_E_FILE_NOT_FOUND ((HRESULT)0x80070002L)
#define KV_E_FILE_EXISTS ((HRESULT)0x80070050L)
#define KV_E_ACCESS_DENIED ((HRESULT)0x80070005L)
#define KV_E_INVALID_NAME ((HRESULT)0x8007007BL)

class KvTaskObject {
public:
    ULONG AddRef();
    ULONG Release();

protected:
    KvTaskObject() = default;
    virtual ~KvTaskObject() = default;
    KvTaskObject(const KvTaskObject&) = delete;
    KvTaskObject& operator=(const KvTaskObject&) = delete;

private:
    ULONG m_references = 1;
};

class ITaskTrigger : public KvTaskObject {
public:
    virtual HRESULT SetTrigger(const TASK_TRIGGER* trigger) = 0;
    virtual HRESULT GetTrigger(TASK_TRIGGER* trigger) = 0;
    // "At 08:00 every day, every 3 hour(s) for 24 hour(s), starting 09.12.2026"
    // in the words the console and kvschtasks show.
    virtual HRESULT GetTriggerString(std::string& text) = 0;
};

class IPersistFile : public KvTaskObject {
public:
    // Writes the work item: fileName null (or its own path) saves it where it
    // was made or found. The file is replaced whole, readable by its owner
    // alone.
    virtual HRESULT Save(LPCSTR fileName, BOOL remember) = 0;
};

class ITask : public IPersistFile {
public:
    virtual HRESULT SetApplicationName(LPCSTR name) = 0;
    virtual HRESULT GetApplicationName(std::string& name) = 0;
    virtual HRESULT SetParameters(LPCSTR parameters) = 0;
    virtual HRESULT GetParameters(std::string& parameters) = 0;
    virtual HRESULT SetWorkingDirectory(LPCSTR folder) = 0;
    virtual HRESULT GetWorkingDirectory(std::string& folder) = 0;
    virtual HRESULT SetComment(LPCSTR comment) = 0;
    virtual HRESULT GetComment(std::string& comment) = 0;
    virtual HRESULT SetFlags(DWORD flags) = 0;
    virtual HRESULT GetFlags(DWORD* flags) = 0;
    // An empty account is the local system account and needs no password.
    // The account is stored with the work item; a password never is (every
    // work item runs as the scheduler's own account here).
    virtual HRESULT SetAccountInformation(LPCSTR account, LPCSTR password) = 0;
    virtual HRESULT GetAccountInformation(std::string& account) = 0;
    virtual HRESULT CreateTrigger(WORD* newIndex, ITaskTrigger** trigger) = 0;
    virtual HRESULT DeleteTrigger(WORD index) = 0;
    virtual HRESULT GetTriggerCount(WORD* count) = 0;
    virtual HRESULT GetTrigger(WORD index, ITaskTrigger** trigger) = 0;
    virtual HRESULT GetTriggerString(WORD index, std::string& text) = 0;
    // SCHED_S_TASK_READY, _RUNNING, _HAS_NOT_RUN, _DISABLED, _NO_MORE_RUNS or
    // _NO_VALID_TRIGGERS.
    virtual HRESULT GetStatus(HRESULT* status) = 0;
    // Local times. SCHED_S_TASK_HAS_NOT_RUN (and a zero time) before any run.
    virtual HRESULT GetMostRecentRunTime(SYSTEMTIME* time) = 0;
    // SCHED_S_TASK_NO_MORE_RUNS or SCHED_S_TASK_DISABLED (and a zero time)
    // when no run is to come.
    virtual HRESULT GetNextRunTime(SYSTEMTIME* time) = 0;
    // The exit code of the most recent run; SCHED_S_TASK_HAS_NOT_RUN before any.
    virtual HRESULT GetExitCode(DWORD* exitCode) = 0;
    // Starts the application at once, detached, and records the run.
    virtual HRESULT Run() = 0;
};

class IEnumWorkItems : public KvTaskObject {
public:
    // Up to count file names ("<name>.job"); S_FALSE when fewer were left.
    virtual HRESULT Next(ULONG count, std::vector<std::string>& names, ULONG* fetched) = 0;
    virtual HRESULT Skip(ULONG count) = 0;
    virtual HRESULT Reset() = 0;
};

class ITaskScheduler : public KvTaskObject {
public:
    // The readable work items of the tasks folder, sorted by name.
    virtual HRESULT Enum(IEnumWorkItems** items) = 0;
    // The work item of that name (without ".job").
    virtual HRESULT Activate(LPCSTR name, ITask** task) = 0;
    virtual HRESULT Delete(LPCSTR name) = 0;
    // A new work item, written by its Save; KV_E_FILE_EXISTS when one of that
    // name exists.
    virtual HRESULT NewWorkItem(LPCSTR name, ITask** task) = 0;
};

// What CoCreateInstance(CLSID_CTaskScheduler, ..., IID_ITaskScheduler) gives.
HRESULT CreateTaskScheduler(ITaskScheduler** scheduler);
