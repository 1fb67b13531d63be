// When work items run, by the Task Scheduler's trigger rules, in the
// machine's time zone (TZ, else /etc/localtime).
//
// A trigger names the days it fires on (once: its begin date; daily: every
// N days from the begin date; weekly: the chosen weekdays of every N weeks
// counted from the week of the begin date; monthly by date: the chosen days of
// the chosen months, a day the month lacks never fires; monthly by weekday:
// the first to fourth or last chosen weekday), none before its begin date or
// after its end date. On such a day it fires at its start time, and when it
// repeats, again every interval for as long as the duration from that start
// (a run exactly at the end of the duration belongs to the next day's start).
// The repetition is measured in elapsed minutes, so a change of season moves
// the wall-clock times inside the day but never adds or drops a run; a start
// time the change skips fires at the first instant after the gap, one it
// repeats fires once.
#pragma once

#include <ctime>
#include <string>

#include "platform/taskscheduler/WorkItemFile.h"

namespace kv::platform::taskscheduler {

// The scheduler's clock: the system time plus KESTRAVA_CLOCK_OFFSET seconds
// (a signed integer; anything else counts as 0), so that a test can make a
// start time due without waiting for it.
time_t ClockOffset();
time_t SchedulerNow();

// The first run of the trigger strictly after the instant; 0 when none is
// left (or none within eight years).
time_t NextTriggerRun(const TASK_TRIGGER& trigger, time_t after);
// The first run of any enabled trigger of an enabled work item after the
// instant; 0 when none.
time_t NextItemRun(const WorkItem& item, time_t after);
// The instant after which runs count for the work item: the later of its
// most recent run and its last save. A run time at or before it has been run
// or was already past when the schedule was saved.
time_t RunReference(const WorkItem& item);

// "At 08:00 every day, every 180 minute(s) for a duration of 1440
// minute(s), starting 2026-12-09" and the like.
std::string TriggerText(const TASK_TRIGGER& trigger);

// Local "YYYY-MM-DD HH:MM:SS"; "Never" for 0.
std::string LocalTimeText(time_t instant);
void ToLocalSystemTime(time_t instant, SYSTEMTIME& time);

}  // namespace kv::platform::taskscheduler
