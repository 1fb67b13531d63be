#include "platform/taskscheduler/RunTimes.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace kv::platform::taskscheduler {
namespace {

// Eight years: a monthly trigger on 29 February of February only fires
// at least once in that span.
const int kSearchDays = 8 * 366 + 2;

// Days since 1970-01-01 of a civil date (proleptic Gregorian), for day
// arithmetic that no time zone disturbs.
long DayNumber(int year, int month, int day) {
    year -= month <= 2;
    long era = (year >= 0 ? year : year - 399) / 400;
    long yoe = year - era * 400;
    long doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

void CivilDate(long days, int& year, int& month, int& day) {
    days += 719468;
    long era = (days >= 0 ? days : days - 146096) / 146097;
    long doe = days - era * 146097;
    long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    long y = yoe + era * 400;
    long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    long mp = (5 * doy + 2) / 153;
    day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    year = static_cast<int>(y + (month <= 2));
}

int Weekday(long days) { return static_cast<int>(((days % 7) + 11) % 7); }  // 0 Sunday

int DaysInMonth(int year, int month) {
    return static_cast<int>(DayNumber(month == 12 ? year + 1 : year, month == 12 ? 1 : month + 1, 1) -
                            DayNumber(year, month, 1));
}

// The instant of a local wall-clock time; a time the clocks skip reads as
// the same distance after the gap, as mktime does.
time_t LocalInstant(long days, int hour, int minute) {
    int year, month, day;
    CivilDate(days, year, month, day);
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

long LocalDay(time_t instant) {
    struct tm fields;
    localtime_r(&instant, &fields);
    return DayNumber(fields.tm_year + 1900, fields.tm_mon + 1, fields.tm_mday);
}

bool FiresOn(const TASK_TRIGGER& t, long days) {
    long begin = DayNumber(t.wBeginYear, t.wBeginMonth, t.wBeginDay);
    if (days < begin) return false;
    if ((t.rgFlags & TASK_TRIGGER_FLAG_HAS_END_DATE) && days > DayNumber(t.wEndYear, t.wEndMonth, t.wEndDay))
        return false;
    int year, month, day;
    CivilDate(days, year, month, day);
    switch (t.TriggerType) {
        case TASK_TIME_TRIGGER_ONCE: return days == begin;
        case TASK_TIME_TRIGGER_DAILY: return t.Type.Daily.DaysInterval > 0 && (days - begin) % t.Type.Daily.DaysInterval == 0;
        case TASK_TIME_TRIGGER_WEEKLY: {
            if (t.Type.Weekly.WeeksInterval == 0 || !(t.Type.Weekly.rgfDaysOfTheWeek & (1 << Weekday(days)))) return false;
            long firstSunday = begin - Weekday(begin);
            return ((days - firstSunday) / 7) % t.Type.Weekly.WeeksInterval == 0;
        }
        case TASK_TIME_TRIGGER_MONTHLYDATE:
            return (t.Type.MonthlyDate.rgfMonths & (1 << (month - 1))) && (t.Type.MonthlyDate.rgfDays & (1u << (day - 1)));
        case TASK_TIME_TRIGGER_MONTHLYDOW: {
            if (!(t.Type.MonthlyDOW.rgfMonths & (1 << (month - 1))) ||
                !(t.Type.MonthlyDOW.rgfDaysOfTheWeek & (1 << Weekday(days))))
                return false;
            int week = (day - 1) / 7 + 1;
            if (t.Type.MonthlyDOW.wWhichWeek == 5) return day + 7 > DaysInMonth(year, month);  // the last one
            return week == t.Type.MonthlyDOW.wWhichWeek;
        }
        default: return false;
    }
}

const char* const kDayNames[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
const char* const kMonthNames[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                   "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
const char* const kWeekNames[] = {"", "first", "second", "third", "fourth", "last"};

std::string List(DWORD mask, const char* const* names, int count) {
    std::string text;
    for (int i = 0; i < count; ++i)
        if (mask & (1u << i)) text += (text.empty() ? "" : ", ") + std::string(names[i]);
    return text;
}

}  // namespace

time_t ClockOffset() {
    const char* text = std::getenv("KESTRAVA_CLOCK_OFFSET");
    if (text == nullptr || *text == '\0') return 0;
    char* end = nullptr;
    long long value = std::strtoll(text, &end, 10);
    if (*end != '\0' || value > 100LL * 366 * 86400 || value < -100LL * 366 * 86400) return 0;
    return static_cast<time_t>(value);
}

time_t SchedulerNow() { return std::time(nullptr) + ClockOffset(); }

time_t NextTriggerRun(const TASK_TRIGGER& t, time_t after) {
    if (t.rgFlags & TASK_TRIGGER_FLAG_DISABLED) return 0;
    long step = static_cast<long>(t.MinutesInterval) * 60;
    long span = static_cast<long>(t.MinutesDuration) * 60;
    bool repeats = step > 0 && span > step;
    // A repetition that lasts longer than a day still runs from earlier days.
    long first = LocalDay(after) - 1 - (repeats ? span / 86400 : 0);
    long begin = DayNumber(t.wBeginYear, t.wBeginMonth, t.wBeginDay);
    if (first < begin) first = begin;
    time_t best = 0;
    for (long days = first; days < first + kSearchDays; ++days) {
        if (best != 0 && LocalInstant(days, 0, 0) > best + 86400) break;
        if (!FiresOn(t, days)) continue;
        time_t start = LocalInstant(days, t.wStartHour, t.wStartMinute);
        if (start == static_cast<time_t>(-1)) continue;
        time_t candidate = 0;
        if (start > after) candidate = start;
        else if (repeats) {
            long k = static_cast<long>((after - start) / step) + 1;
            if (k * step < span) candidate = start + k * step;
        }
        if (candidate != 0 && (best == 0 || candidate < best)) best = candidate;
        if (t.TriggerType == TASK_TIME_TRIGGER_ONCE) break;
    }
    return best;
}

time_t NextItemRun(const WorkItem& item, time_t after) {
    if (item.flags & TASK_FLAG_DISABLED) return 0;
    time_t best = 0;
    for (const TASK_TRIGGER& t : item.triggers) {
        time_t run = NextTriggerRun(t, after);
        if (run != 0 && (best == 0 || run < best)) best = run;
    }
    return best;
}

time_t RunReference(const WorkItem& item) { return item.lastRun > item.saved ? item.lastRun : item.saved; }

std::string TriggerText(const TASK_TRIGGER& t) {
    char start[32];
    std::snprintf(start, sizeof start, "%02u:%02u", t.wStartHour, t.wStartMinute);
    char begin[32];
    std::snprintf(begin, sizeof begin, "%04u-%02u-%02u", t.wBeginYear, t.wBeginMonth, t.wBeginDay);
    std::string text = std::string("At ") + start + " ";
    switch (t.TriggerType) {
        case TASK_TIME_TRIGGER_ONCE: text += std::string("on ") + begin; break;
        case TASK_TIME_TRIGGER_DAILY:
            text += t.Type.Daily.DaysInterval == 1 ? std::string("every day")
                                                   : "every " + std::to_string(t.Type.Daily.DaysInterval) + " days";
            break;
        case TASK_TIME_TRIGGER_WEEKLY:
            text += "every " + List(t.Type.Weekly.rgfDaysOfTheWeek, kDayNames, 7) + " of " +
                    (t.Type.Weekly.WeeksInterval == 1 ? std::string("every week")
                                                      : "every " + std::to_string(t.Type.Weekly.WeeksInterval) + " weeks");
            break;
        case TASK_TIME_TRIGGER_MONTHLYDATE: {
            std::string days;
            for (int d = 0; d < 31; ++d)
                if (t.Type.MonthlyDate.rgfDays & (1u << d)) days += (days.empty() ? "" : ", ") + std::to_string(d + 1);
            text += "on day " + days + " of " +
                    ((t.Type.MonthlyDate.rgfMonths & TASK_ALL_MONTHS) == TASK_ALL_MONTHS
                         ? std::string("every month")
                         : List(t.Type.MonthlyDate.rgfMonths, kMonthNames, 12));
            break;
        }
        case TASK_TIME_TRIGGER_MONTHLYDOW:
            text += std::string("on the ") + kWeekNames[t.Type.MonthlyDOW.wWhichWeek % 6] + " " +
                    List(t.Type.MonthlyDOW.rgfDaysOfTheWeek, kDayNames, 7) + " of " +
                    ((t.Type.MonthlyDOW.rgfMonths & TASK_ALL_MONTHS) == TASK_ALL_MONTHS
                         ? std::string("every month")
                         : List(t.Type.MonthlyDOW.rgfMonths, kMonthNames, 12));
            break;
        default: text += "on an event"; break;
    }
    if (t.MinutesInterval > 0)
        text += ", every " + std::to_string(t.MinutesInterval) + " minute(s) for a duration of " +
                std::to_string(t.MinutesDuration) + " minute(s)";
    if (t.TriggerType != TASK_TIME_TRIGGER_ONCE) text += std::string(", starting ") + begin;
    if (t.rgFlags & TASK_TRIGGER_FLAG_HAS_END_DATE) {
        char end[32];
        std::snprintf(end, sizeof end, "%04u-%02u-%02u", t.wEndYear, t.wEndMonth, t.wEndDay);
        text += std::string(", until ") + end;
    }
    if (t.rgFlags & TASK_TRIGGER_FLAG_DISABLED) text += " (disabled)";
    return text;
}

std::string LocalTimeText(time_t instant) {
    if (instant == 0) return "Never";
    struct tm fields;
    localtime_r(&instant, &fields);
    char buffer[32];
    std::strftime(buffer, sizeof buffer, "%Y-%m-%d %H:%M:%S", &fields);
    return buffer;
}

void ToLocalSystemTime(time_t instant, SYSTEMTIME& time) {
    std::memset(&time, 0, sizeof time);
    if (instant == 0) return;
    struct tm fields;
    localtime_r(&instant, &fields);
    time.wYear = static_cast<WORD>(fields.tm_year + 1900);
    time.wMonth = static_cast<WORD>(fields.tm_mon + 1);
    time.wDayOfWeek = static_cast<WORD>(fields.tm_wday);
    time.wDay = static_cast<WORD>(fields.tm_mday);
    time.wHour = static_cast<WORD>(fields.tm_hour);
    time.wMinute = static_cast<WORD>(fields.tm_min);
    time.wSecond = static_cast<WORD>(fields.tm_sec);
}

}  // namespace kv::platform::taskscheduler
