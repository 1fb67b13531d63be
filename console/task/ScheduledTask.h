// The scheduled task of one scan job: the Task Scheduler work item that runs
// the scan launcher with the job's identifier, as the scan-job node and its
// Schedule page see it.
#pragma once

#include <string>

#include "platform/system/SystemInfo.h"
#include "platform/win/WinTypes.h"

enum ScheduleKind : DWORD {
    SCHEDULE_NONE = 0,
    SCHEDULE_EVERY_HOURS = 1,
    SCHEDULE_DAILY = 2,
    SCHEDULE_WEEKLY = 3,
    SCHEDULE_MONTHLY = 4,
};

// A repetition cannot span more than the day it starts in.
#define SCHEDULE_MAX_HOURS 23

class CScheduledTask {
public:
    // The defaults of a job without a work item: not scheduled, the
    // launcher beside the data folder, the job's identifier as its command
    // line, no start.
    void InitDefaults(LONG profileId);

    // Fills the object from the work item of its name; FALSE (object
    // unchanged) when the name is empty or no such work item exists.
    BOOL Load();
    // Replaces the work item with one made from the object (or only removes
    // it for SCHEDULE_NONE); nothing happens without a name, an application
    // or a start year.
    BOOL Save();
    BOOL Delete();
    // What enabling a job does.
    BOOL Activate() { return Save(); }
    // Starts the application with its parameters at once, hidden, without
    // waiting: the command line the work item runs.
    BOOL ScanNow(HWND owner) const;

    std::string m_name;
    std::string m_application;
    std::string m_parameters;
    std::string m_comment;
    DWORD m_kind = SCHEDULE_NONE;
    SYSTEMTIME m_start{};
    DWORD m_hours = 0;

private:
    BOOL SaveWorkItem();
};

// The weekday (0 Sunday) of a calendar date.
WORD DayOfWeek(WORD year, WORD month, WORD day);
