// Run times by the trigger rules, in a time zone the test sets: repetition
// inside the day, weekdays, days a month lacks, changes of season, and the
// rule that a passed run time is run once and never again.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "platform/taskscheduler/RunTimes.h"

namespace {

namespace ts = kv::platform::taskscheduler;

class TimeZone {
public:
    explicit TimeZone(const char* zone) {
        const char* old = std::getenv("TZ");
        m_had = old != nullptr;
        if (m_had) m_old = old;
        ::setenv("TZ", zone, 1);
        ::tzset();
    }
    ~TimeZone() {
        if (m_had) ::setenv("TZ", m_old.c_str(), 1);
        else ::unsetenv("TZ");
        ::tzset();
    }

private:
    bool m_had = false;
    std::string m_old;
};

time_t Local(int year, int month, int day, int hour, int minute) {
    struct tm fields;
    std::memset(&fields, 0, sizeof fields);
    fields.tm_year = year - 1900;
    fields.tm_mon = month - 1;
    fields.tm_mday = day;
    fields.tm_hour = hour;
    fields.tm_min = minute;
    fields.tm_isdst = -1;
    return std::mktime(&fields);
}

TASK_TRIGGER Trigger(TASK_TRIGGER_TYPE type, WORD year, WORD month, WORD day, WORD hour, WORD minute) {
    TASK_TRIGGER t;
    std::memset(&t, 0, sizeof t);
    t.cbTriggerSize = sizeof t;
    t.TriggerType = type;
    t.wBeginYear = year;
    t.wBeginMonth = month;
    t.wBeginDay = day;
    t.wStartHour = hour;
    t.wStartMinute = minute;
    return t;
}

// The local texts of the runs after an instant, as many as asked for.
std::vector<std::string> Runs(const TASK_TRIGGER& t, time_t after, int count) {
    std::vector<std::string> runs;
    for (int i = 0; i < count; ++i) {
        after = ts::NextTriggerRun(t, after);
        if (after == 0) break;
        runs.push_back(ts::LocalTimeText(after));
    }
    return runs;
}

TEST(RunTimes, EveryThreeHoursRunsAroundTheClockFromTheStartTime) {
    TimeZone zone("UTC");
    TASK_TRIGGER t = Trigger(TASK_TIME_TRIGGER_DAILY, 2026, 12, 9, 8, 0);
    t.Type.Daily.DaysInterval = 1;
    t.MinutesInterval = 180;
    t.MinutesDuration = 1440;
    EXPECT_EQ(Runs(t, Local(2026, 12, 9, 7, 0), 10),
              (std::vector<std::string>{"2026-12-09 08:00:00", "2026-12-09 11:00:00", "2026-12-09 14:00:00",
                                        "2026-12-09 17:00:00", "2026-12-09 20:00:00", "2026-12-09 23:00:00",
                                        "2026-12-10 02:00:00", "2026-12-10 05:00:00", "2026-12-10 08:00:00",
                                        "2026-12-10 11:00:00"}));
    // Nothing before the begin date, even at repeat times.
    EXPECT_EQ(ts::NextTriggerRun(t, Local(2026, 12, 9, 0, 0)), Local(2026, 12, 9, 8, 0));

    // A duration of one interval and a minute repeats once a day only.
    t.MinutesDuration = 181;
    EXPECT_EQ(Runs(t, Local(2026, 12, 9, 7, 0), 4),
              (std::vector<std::string>{"2026-12-09 08:00:00", "2026-12-09 11:00:00", "2026-12-10 08:00:00",
                                        "2026-12-10 11:00:00"}));
}

TEST(RunTimes, WeeklyAndMonthlyByDate) {
    TimeZone zone("UTC");
    // 9 December 2026 is a Wednesday.
    TASK_TRIGGER weekly = Trigger(TASK_TIME_TRIGGER_WEEKLY, 2026, 12, 9, 22, 30);
    weekly.Type.Weekly.WeeksInterval = 1;
    weekly.Type.Weekly.rgfDaysOfTheWeek = TASK_WEDNESDAY;
    EXPECT_EQ(Runs(weekly, Local(2026, 12, 1, 0, 0), 3),
              (std::vector<std::string>{"2026-12-09 22:30:00", "2026-12-16 22:30:00", "2026-12-23 22:30:00"}));
    weekly.Type.Weekly.WeeksInterval = 2;
    EXPECT_EQ(Runs(weekly, Local(2026, 12, 10, 0, 0), 2),
              (std::vector<std::string>{"2026-12-23 22:30:00", "2027-01-06 22:30:00"}));

    TASK_TRIGGER monthly = Trigger(TASK_TIME_TRIGGER_MONTHLYDATE, 2026, 12, 31, 6, 15);
    monthly.Type.MonthlyDate.rgfDays = 1u << 30;
    monthly.Type.MonthlyDate.rgfMonths = TASK_ALL_MONTHS;
    // No 31st in February, April, June, September or November.
    EXPECT_EQ(Runs(monthly, Local(2026, 12, 1, 0, 0), 6),
              (std::vector<std::string>{"2026-12-31 06:15:00", "2027-01-31 06:15:00", "2027-03-31 06:15:00",
                                        "2027-05-31 06:15:00", "2027-07-31 06:15:00", "2027-08-31 06:15:00"}));

    // The 29th of February of February only: the next leap year.
    TASK_TRIGGER leap = Trigger(TASK_TIME_TRIGGER_MONTHLYDATE, 2026, 1, 1, 0, 0);
    leap.Type.MonthlyDate.rgfDays = 1u << 28;
    leap.Type.MonthlyDate.rgfMonths = 0x2;
    EXPECT_EQ(Runs(leap, Local(2026, 1, 1, 0, 0), 1), std::vector<std::string>{"2028-02-29 00:00:00"});

    TASK_TRIGGER once = Trigger(TASK_TIME_TRIGGER_ONCE, 2027, 3, 4, 5, 6);
    EXPECT_EQ(Runs(once, Local(2027, 1, 1, 0, 0), 3), std::vector<std::string>{"2027-03-04 05:06:00"});
    // An end date ends a daily trigger.
    TASK_TRIGGER ending = Trigger(TASK_TIME_TRIGGER_DAILY, 2027, 1, 1, 12, 0);
    ending.Type.Daily.DaysInterval = 1;
    ending.rgFlags = TASK_TRIGGER_FLAG_HAS_END_DATE;
    ending.wEndYear = 2027;
    ending.wEndMonth = 1;
    ending.wEndDay = 2;
    EXPECT_EQ(Runs(ending, Local(2026, 12, 31, 0, 0), 5),
              (std::vector<std::string>{"2027-01-01 12:00:00", "2027-01-02 12:00:00"}));
}

TEST(RunTimes, ChangesOfSeasonNeitherAddNorDropARun) {
    TimeZone zone("Europe/Berlin");
    // Clocks go forward on 28 March 2027 at 02:00 and back on 31 October at 03:00.
    TASK_TRIGGER daily = Trigger(TASK_TIME_TRIGGER_DAILY, 2027, 3, 1, 8, 0);
    daily.Type.Daily.DaysInterval = 1;
    time_t saturday = Local(2027, 3, 27, 8, 0);
    time_t sunday = ts::NextTriggerRun(daily, saturday);
    EXPECT_EQ(ts::LocalTimeText(sunday), "2027-03-28 08:00:00");
    EXPECT_EQ(sunday - saturday, 23 * 3600);

    // A start time inside the gap runs once, just after it.
    TASK_TRIGGER gap = Trigger(TASK_TIME_TRIGGER_DAILY, 2027, 3, 1, 2, 30);
    gap.Type.Daily.DaysInterval = 1;
    EXPECT_EQ(Runs(gap, Local(2027, 3, 27, 12, 0), 2),
              (std::vector<std::string>{"2027-03-28 03:30:00", "2027-03-29 02:30:00"}));

    // A start time the autumn change repeats runs once that day.
    TASK_TRIGGER twice = Trigger(TASK_TIME_TRIGGER_DAILY, 2027, 10, 1, 2, 30);
    twice.Type.Daily.DaysInterval = 1;
    std::vector<std::string> runs = Runs(twice, Local(2027, 10, 30, 12, 0), 2);
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(runs[0], "2027-10-31 02:30:00");
    EXPECT_EQ(runs[1], "2027-11-01 02:30:00");

    // Hourly repetition counts elapsed time: 24 runs in the 25-hour day
    // from midnight, the next day's start time begins again.
    TASK_TRIGGER hourly = Trigger(TASK_TIME_TRIGGER_DAILY, 2027, 10, 1, 0, 0);
    hourly.Type.Daily.DaysInterval = 1;
    hourly.MinutesInterval = 60;
    hourly.MinutesDuration = 1440;
    time_t at = Local(2027, 10, 30, 23, 30);
    std::vector<time_t> instants;
    for (;;) {
        at = ts::NextTriggerRun(hourly, at);
        if (at >= Local(2027, 11, 1, 0, 0)) break;
        instants.push_back(at);
    }
    ASSERT_EQ(instants.size(), 24u);
    for (size_t i = 1; i < instants.size(); ++i) EXPECT_EQ(instants[i] - instants[i - 1], 3600);
    EXPECT_EQ(ts::LocalTimeText(instants.back()), "2027-10-31 22:00:00");
    EXPECT_EQ(ts::LocalTimeText(ts::NextTriggerRun(hourly, instants.back())), "2027-11-01 00:00:00");
}

TEST(RunTimes, ARunTimeAtOrBeforeTheReferenceIsNeverDueAgain) {
    TimeZone zone("UTC");
    ts::WorkItem item;
    TASK_TRIGGER t = Trigger(TASK_TIME_TRIGGER_DAILY, 2026, 12, 1, 8, 0);
    t.Type.Daily.DaysInterval = 1;
    t.MinutesInterval = 60;
    t.MinutesDuration = 1440;
    item.triggers.push_back(t);
    // Made at 10:30: the runs of the morning are not owed.
    item.saved = Local(2026, 12, 9, 10, 30);
    EXPECT_EQ(ts::NextItemRun(item, ts::RunReference(item)), Local(2026, 12, 9, 11, 0));
    // Down from 10:30 to 15:10: one run is due (once, however many passed),
    // and once it ran at 15:10 the next is 16:00.
    time_t due = ts::NextItemRun(item, ts::RunReference(item));
    EXPECT_LE(due, Local(2026, 12, 9, 15, 10));
    item.lastRun = Local(2026, 12, 9, 15, 10);
    EXPECT_EQ(ts::NextItemRun(item, ts::RunReference(item)), Local(2026, 12, 9, 16, 0));
    // The clock set back an hour after that run: 15:00 is not run again.
    EXPECT_EQ(ts::NextItemRun(item, ts::RunReference(item)), Local(2026, 12, 9, 16, 0));
    // A disabled work item or trigger has no runs.
    item.flags = TASK_FLAG_DISABLED;
    EXPECT_EQ(ts::NextItemRun(item, ts::RunReference(item)), 0);
    item.flags = 0;
    item.triggers[0].rgFlags = TASK_TRIGGER_FLAG_DISABLED;
    EXPECT_EQ(ts::NextItemRun(item, ts::RunReference(item)), 0);
}

TEST(RunTimes, TheTestClockOffsetIsReadStrictly) {
    ::setenv("KESTRAVA_CLOCK_OFFSET", "-120", 1);
    EXPECT_EQ(ts::ClockOffset(), -120);
    ::setenv("KESTRAVA_CLOCK_OFFSET", "60s", 1);
    EXPECT_EQ(ts::ClockOffset(), 0);
    ::setenv("KESTRAVA_CLOCK_OFFSET", "99999999999999999999", 1);
    EXPECT_EQ(ts::ClockOffset(), 0);
    ::unsetenv("KESTRAVA_CLOCK_OFFSET");
    EXPECT_EQ(ts::ClockOffset(), 0);
}

}  // namespace
