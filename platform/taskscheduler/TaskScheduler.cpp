#include "platform/taskscheduler/TaskScheduler.h"

#include <strings.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/root/MachineRoot.h"
#include "platform/service/Service.h"
#include "platform/taskscheduler/internal/RunRequest.h"
#include "platform/taskscheduler/RunTimes.h"
#include "platform/taskscheduler/WorkItemFile.h"
#include "platform/win/internal/ErrnoMap.h"

using namespace kv::platform::taskscheduler;

ULONG KvTaskObject::AddRef() { return ++m_references; }

ULONG KvTaskObject::Release() {
    ULONG left = --m_references;
    if (left == 0) delete this;
    return left;
}

namespace {

std::string Text(LPCSTR text) { return text == nullptr ? std::string() : std::string(text); }

HRESULT ErrorOfErrno(int error) {
    const DWORD code = kv::platform::WindowsErrorFromErrno(error, 0);
    return code == 0 ? E_FAIL : HRESULT_FROM_WIN32(code);
}

// The file of a work item: its exact name, else the one that matches without
// regard to case, as Windows file names do.
std::string FindWorkItemFile(const std::string& name) {
    std::string exact = WorkItemPath(name);
    if (::access(exact.c_str(), F_OK) == 0) return exact;
    for (const std::string& file : ListWorkItemFiles())
        if (strcasecmp(file.substr(0, file.size() - 4).c_str(), name.c_str()) == 0) return TasksFolder() + "/" + file;
    return std::string();
}

class CTask;

class CTaskTrigger : public ITaskTrigger {
public:
    CTaskTrigger(CTask* task, WORD index);
    ~CTaskTrigger() override;
    HRESULT SetTrigger(const TASK_TRIGGER* trigger) override;
    HRESULT GetTrigger(TASK_TRIGGER* trigger) override;
    HRESULT GetTriggerString(std::string& text) override;

private:
    CTask* m_task;
    WORD m_index;
};

class CTask : public ITask {
public:
    CTask(std::string path, WorkItem item) : m_path(std::move(path)), m_item(std::move(item)) {}

    HRESULT Save(LPCSTR fileName, BOOL) override {
        std::string path = fileName == nullptr || *fileName == '\0' ? m_path : std::string(fileName);
        TasksLock lock;
        // The run record is the scheduler's: a save keeps what it wrote since
        // this object was read, so an edit never undoes a run.
        WorkItem current;
        std::string reason;
        if (ReadWorkItem(path, current, reason) && current.saved == m_item.saved) {
            m_item.lastRun = current.lastRun;
            m_item.exitCode = current.exitCode;
        }
        // Runs count from the save on: a schedule changed now does not owe
        // the runs its new times would have had before.
        WorkItem written = m_item;
        written.saved = SchedulerNow();
        if (written.saved <= m_item.saved) written.saved = m_item.saved + 1;
        if (!WriteWorkItem(path, written)) return ErrorOfErrno(errno);
        m_item.saved = written.saved;
        m_path = path;
        return S_OK;
    }

    HRESULT SetApplicationName(LPCSTR name) override { return Set(m_item.applicationName, name); }
    HRESULT GetApplicationName(std::string& name) override { return Get(m_item.applicationName, name); }
    HRESULT SetParameters(LPCSTR parameters) override { return Set(m_item.parameters, parameters); }
    HRESULT GetParameters(std::string& parameters) override { return Get(m_item.parameters, parameters); }
    HRESULT SetWorkingDirectory(LPCSTR folder) override { return Set(m_item.workingDirectory, folder); }
    HRESULT GetWorkingDirectory(std::string& folder) override { return Get(m_item.workingDirectory, folder); }
    HRESULT SetComment(LPCSTR comment) override { return Set(m_item.comment, comment); }
    HRESULT GetComment(std::string& comment) override { return Get(m_item.comment, comment); }
    HRESULT SetFlags(DWORD flags) override {
        m_item.flags = flags;
        return S_OK;
    }
    HRESULT GetFlags(DWORD* flags) override {
        if (flags == nullptr) return E_INVALIDARG;
        *flags = m_item.flags;
        return S_OK;
    }
    HRESULT SetAccountInformation(LPCSTR account, LPCSTR password) override {
        if (account == nullptr) return E_INVALIDARG;
        // Another account than the system's would need its password.
        if (*account != '\0' && password == nullptr) return E_INVALIDARG;
        return Set(m_item.account, account);
    }
    HRESULT GetAccountInformation(std::string& account) override { return Get(m_item.account, account); }

    HRESULT CreateTrigger(WORD* newIndex, ITaskTrigger** trigger) override {
        if (newIndex == nullptr || trigger == nullptr) return E_INVALIDARG;
        if (m_item.triggers.size() >= 64) return E_OUTOFMEMORY;
        TASK_TRIGGER t;
        std::memset(&t, 0, sizeof t);
        t.cbTriggerSize = sizeof t;
        // Valid as it stands (once, now) until the caller sets its own.
        SYSTEMTIME now;
        ToLocalSystemTime(SchedulerNow(), now);
        t.wBeginYear = now.wYear;
        t.wBeginMonth = now.wMonth;
        t.wBeginDay = now.wDay;
        t.wStartHour = now.wHour;
        t.wStartMinute = now.wMinute;
        t.TriggerType = TASK_TIME_TRIGGER_ONCE;
        m_item.triggers.push_back(t);
        *newIndex = static_cast<WORD>(m_item.triggers.size() - 1);
        *trigger = new CTaskTrigger(this, *newIndex);
        return S_OK;
    }
    HRESULT DeleteTrigger(WORD index) override {
        if (index >= m_item.triggers.size()) return SCHED_E_TRIGGER_NOT_FOUND;
        m_item.triggers.erase(m_item.triggers.begin() + index);
        return S_OK;
    }
    HRESULT GetTriggerCount(WORD* count) override {
        if (count == nullptr) return E_INVALIDARG;
        *count = static_cast<WORD>(m_item.triggers.size());
        return S_OK;
    }
    HRESULT GetTrigger(WORD index, ITaskTrigger** trigger) override {
        if (trigger == nullptr) return E_INVALIDARG;
        *trigger = nullptr;
        if (index >= m_item.triggers.size()) return SCHED_E_TRIGGER_NOT_FOUND;
        *trigger = new CTaskTrigger(this, index);
        return S_OK;
    }
    HRESULT GetTriggerString(WORD index, std::string& text) override {
        if (index >= m_item.triggers.size()) return SCHED_E_TRIGGER_NOT_FOUND;
        text = TriggerText(m_item.triggers[index]);
        return S_OK;
    }

    HRESULT GetStatus(HRESULT* status) override {
        if (status == nullptr) return E_INVALIDARG;
        if (m_item.lastRun != 0 && m_item.exitCode == kStillActive) *status = SCHED_S_TASK_RUNNING;
        else if (m_item.flags & TASK_FLAG_DISABLED) *status = SCHED_S_TASK_DISABLED;
        else if (m_item.triggers.empty()) *status = SCHED_S_TASK_NO_VALID_TRIGGERS;
        else if (m_item.lastRun == 0) *status = SCHED_S_TASK_HAS_NOT_RUN;
        else if (NextItemRun(m_item, RunReference(m_item)) == 0) *status = SCHED_S_TASK_NO_MORE_RUNS;
        else *status = SCHED_S_TASK_READY;
        return S_OK;
    }
    HRESULT GetMostRecentRunTime(SYSTEMTIME* time) override {
        if (time == nullptr) return E_INVALIDARG;
        ToLocalSystemTime(m_item.lastRun, *time);
        return m_item.lastRun == 0 ? SCHED_S_TASK_HAS_NOT_RUN : S_OK;
    }
    HRESULT GetNextRunTime(SYSTEMTIME* time) override {
        if (time == nullptr) return E_INVALIDARG;
        // A run time missed while the scheduler was down is run as soon as
        // it looks, so what is still to come starts now.
        time_t reference = RunReference(m_item);
        time_t now = SchedulerNow();
        time_t next = NextItemRun(m_item, reference > now ? reference : now);
        ToLocalSystemTime(next, *time);
        if (next != 0) return S_OK;
        return (m_item.flags & TASK_FLAG_DISABLED) ? SCHED_S_TASK_DISABLED : SCHED_S_TASK_NO_MORE_RUNS;
    }
    HRESULT GetExitCode(DWORD* exitCode) override {
        if (exitCode == nullptr) return E_INVALIDARG;
        *exitCode = m_item.exitCode;
        return m_item.lastRun == 0 ? SCHED_S_TASK_HAS_NOT_RUN : S_OK;
    }
    HRESULT Run() override {
        if (m_item.applicationName.empty()) return SCHED_E_TASK_NOT_READY;
        std::string name = m_path.substr(m_path.rfind('/') + 1);
        name.resize(name.size() - 4);
        return RequestRun(name);
    }

    TASK_TRIGGER& TriggerAt(WORD index) { return m_item.triggers[index]; }
    bool HasTrigger(WORD index) const { return index < m_item.triggers.size(); }

private:
    HRESULT Set(std::string& field, LPCSTR value) {
        field = Text(value);
        return S_OK;
    }
    HRESULT Get(const std::string& field, std::string& value) {
        value = field;
        return S_OK;
    }

    std::string m_path;
    WorkItem m_item;
};

CTaskTrigger::CTaskTrigger(CTask* task, WORD index) : m_task(task), m_index(index) { m_task->AddRef(); }
CTaskTrigger::~CTaskTrigger() { m_task->Release(); }

HRESULT CTaskTrigger::SetTrigger(const TASK_TRIGGER* trigger) {
    if (trigger == nullptr || !ValidTrigger(*trigger)) return E_INVALIDARG;
    if (!m_task->HasTrigger(m_index)) return SCHED_E_TRIGGER_NOT_FOUND;
    m_task->TriggerAt(m_index) = *trigger;
    m_task->TriggerAt(m_index).cbTriggerSize = sizeof(TASK_TRIGGER);
    return S_OK;
}

HRESULT CTaskTrigger::GetTrigger(TASK_TRIGGER* trigger) {
    if (trigger == nullptr) return E_INVALIDARG;
    if (!m_task->HasTrigger(m_index)) return SCHED_E_TRIGGER_NOT_FOUND;
    *trigger = m_task->TriggerAt(m_index);
    return S_OK;
}

HRESULT CTaskTrigger::GetTriggerString(std::string& text) {
    if (!m_task->HasTrigger(m_index)) return SCHED_E_TRIGGER_NOT_FOUND;
    text = TriggerText(m_task->TriggerAt(m_index));
    return S_OK;
}

class CEnumWorkItems : public IEnumWorkItems {
public:
    explicit CEnumWorkItems(std::vector<std::string> names) : m_names(std::move(names)) {}
    HRESULT Next(ULONG count, std::vector<std::string>& names, ULONG* fetched) override {
        names.clear();
        while (names.size() < count && m_next < m_names.size()) names.push_back(m_names[m_next++]);
        if (fetched != nullptr) *fetched = static_cast<ULONG>(names.size());
        return names.size() == count ? S_OK : S_FALSE;
    }
    HRESULT Skip(ULONG count) override {
        size_t left = m_names.size() - m_next;
        m_next += count < left ? count : left;
        return count <= left ? S_OK : S_FALSE;
    }
    HRESULT Reset() override {
        m_next = 0;
        return S_OK;
    }

private:
    std::vector<std::string> m_names;
    size_t m_next = 0;
};

class CTaskScheduler : public ITaskScheduler {
public:
    HRESULT Enum(IEnumWorkItems** items) override {
        if (items == nullptr) return E_INVALIDARG;
        std::vector<std::string> names;
        for (const std::string& file : ListWorkItemFiles()) {
            WorkItem item;
            std::string reason;
            std::string path = TasksFolder() + "/" + file;
            if (ReadWorkItem(path, item, reason)) names.push_back(file);
            else if (reason != "missing") LogOnce(path, "work item " + path + " skipped: " + reason);
        }
        *items = new CEnumWorkItems(std::move(names));
        return S_OK;
    }

    HRESULT Activate(LPCSTR name, ITask** task) override {
        if (task == nullptr) return E_INVALIDARG;
        *task = nullptr;
        if (name == nullptr || !ValidWorkItemName(name)) return KV_E_INVALID_NAME;
        std::string path = FindWorkItemFile(name);
        if (path.empty()) return KV_E_FILE_NOT_FOUND;
        WorkItem item;
        std::string reason;
        if (!ReadWorkItem(path, item, reason)) {
            if (reason == "missing") return KV_E_FILE_NOT_FOUND;
            LogOnce(path, "work item " + path + " skipped: " + reason);
            return SCHED_E_UNKNOWN_OBJECT_VERSION;
        }
        *task = new CTask(path, std::move(item));
        return S_OK;
    }

    HRESULT Delete(LPCSTR name) override {
        if (name == nullptr || !ValidWorkItemName(name)) return KV_E_INVALID_NAME;
        TasksLock lock;
        std::string path = FindWorkItemFile(name);
        if (path.empty()) return KV_E_FILE_NOT_FOUND;
        return ::unlink(path.c_str()) == 0 ? S_OK : ErrorOfErrno(errno);
    }

    HRESULT NewWorkItem(LPCSTR name, ITask** task) override {
        if (task == nullptr) return E_INVALIDARG;
        *task = nullptr;
        if (name == nullptr || !ValidWorkItemName(name)) return KV_E_INVALID_NAME;
        if (!kv::platform::MachineRootExists()) return KV_E_FILE_NOT_FOUND;
        if (!FindWorkItemFile(name).empty()) return KV_E_FILE_EXISTS;
        *task = new CTask(WorkItemPath(name), WorkItem());
        return S_OK;
    }
};

}  // namespace

HRESULT CreateTaskScheduler(ITaskScheduler** scheduler) {
    if (scheduler == nullptr) return E_INVALIDARG;
    *scheduler = new CTaskScheduler();
    return S_OK;
}
