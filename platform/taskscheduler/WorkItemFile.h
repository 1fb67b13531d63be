// A work item on disk: $KESTRAVA_ROOT/tasks/<name>.job, a UTF-8 text of
// "Key=value" lines in this order (unknown keys are refused, so a file is
// never half understood):
//
//   WorkItem=1                      format version, first line
//   ApplicationName=C:\...\KvLaunch.exe
//   Parameters=5
//   WorkingDirectory=
//   Comment=...
//   Flags=0x000000c1                TASK_FLAG_* bits
//   Account=                        empty: the local system account
//   Saved=1765260000                when it was last saved through ITask
//                                   (POSIX seconds; runs count from there)
//   LastRun=0                       start of the most recent run, 0 never
//   ExitCode=0                      exit code of that run (259 while it runs)
//   Trigger=<type> <field>=<value> ... one line per trigger:
//     type Once, Daily, Weekly, MonthlyDate or MonthlyDOW; fields
//     Begin=YYYY-MM-DD Start=HH:MM End=YYYY-MM-DD (or "-")
//     Duration=<minutes> Interval=<minutes> Flags=0x<hex>
//     Daily: Every=<days>; Weekly: Every=<weeks> Days=0x<TASK_SUNDAY...>;
//     MonthlyDate: Days=0x<bit 0 = 1st> Months=0x<bit 0 = January>;
//     MonthlyDOW: Week=<1-5> Days=0x<...> Months=0x<...>
//
// Values cannot hold line ends: "\" and line ends are written "\\", "\n" and
// "\r". Times of day and dates are local wall-clock times, as the Task
// Scheduler keeps them; the instants are POSIX seconds. The file is replaced
// whole (temporary file and rename) under tasks/.lock, mode 0600 in a 0700
// folder: the command lines and accounts are root's business.
#pragma once

#include <sys/types.h>

#include <ctime>
#include <string>
#include <vector>

#include "platform/taskscheduler/TaskScheduler.h"

namespace kv::platform::taskscheduler {

// The exit code recorded while a run is still going (STILL_ACTIVE).
const DWORD kStillActive = 259;
// The exit code of a run whose end the scheduler could not see, because it
// was stopped while the run went (the Task Scheduler's "terminated").
const DWORD kEndNotSeen = 0x00041306;

struct WorkItem {
    std::string applicationName;
    std::string parameters;
    std::string workingDirectory;
    std::string comment;
    DWORD flags = 0;
    std::string account;
    time_t saved = 0;
    time_t lastRun = 0;
    DWORD exitCode = 0;
    std::vector<TASK_TRIGGER> triggers;
};

std::string TasksFolder();
// The tasks folder, made (0700) when the machine root exists and it does not.
bool EnsureTasksFolder();
std::string WorkItemPath(const std::string& name);
// A name a work item file can have: not empty, no "/", no control
// characters, not "." or "..", not starting with ".", at most 200 bytes.
bool ValidWorkItemName(const std::string& name);

std::string FormatWorkItem(const WorkItem& item);
// False, with the reason, for a text that is not a work item of this format.
bool ParseWorkItem(const std::string& text, WorkItem& item, std::string& reason);
// A trigger whose fields are in range (dates that exist, hours, minutes,
// an interval that fits in its duration, known type).
bool ValidTrigger(const TASK_TRIGGER& trigger);

// Reads and parses; the reason names the failure ("missing" when there is
// no file).
bool ReadWorkItem(const std::string& path, WorkItem& item, std::string& reason);
// Writes the work item atomically; false with errno when it cannot.
bool WriteWorkItem(const std::string& path, const WorkItem& item);

// RAII: tasks/.lock held exclusively, for a read-modify-write of a work item.
class TasksLock {
public:
    TasksLock();
    ~TasksLock();
    TasksLock(const TasksLock&) = delete;
    TasksLock& operator=(const TasksLock&) = delete;

private:
    int m_fd = -1;
};

// The names of the work item files in the tasks folder ("<name>.job"), sorted.
std::vector<std::string> ListWorkItemFiles();

// One line to standard error and the system log; a line about a file is
// written once per version of the file (size and modification time), so a
// file that stays corrupt is not reported at every look.
void LogOnce(const std::string& path, const std::string& message);
void LogLine(const std::string& message);

}  // namespace kv::platform::taskscheduler
