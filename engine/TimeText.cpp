#include "engine/TimeText.h"

#include <cstdio>
#include <ctime>

#include "platform/fs/FileTime.h"

namespace {

bool Local(time_t time, struct tm& fields) { return kv::platform::LocalTimeFields(static_cast<int64_t>(time), fields); }

}  // namespace

std::string DateText(time_t time) {
    struct tm f {};
    if (!Local(time, f)) return std::string();
    char text[32];
    // tm_year counts from 1900 and is negative before it: the remainder of
    // the full year is the two digits a year before 1900 is written with.
    const int century = ((f.tm_year + 1900) % 100 + 100) % 100;
    std::snprintf(text, sizeof text, "%02d/%02d/%02d", f.tm_mon + 1, f.tm_mday, century);
    return text;
}

std::string TimeOfDayText(time_t time) {
    struct tm f {};
    if (!Local(time, f)) return std::string();
    char text[32];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", f.tm_hour, f.tm_min, f.tm_sec);
    return text;
}

std::string DateTimeText(time_t time) { return DateText(time) + " " + TimeOfDayText(time); }

time_t LocalCalendarTime(int year, int month, int day, int hour, int minute, int second) {
    struct tm f {};
    f.tm_year = year - 1900;
    f.tm_mon = month - 1;
    f.tm_mday = day;
    f.tm_hour = hour;
    f.tm_min = minute;
    f.tm_sec = second;
    int64_t seconds = 0;
    return kv::platform::LocalInstant(f, seconds) ? static_cast<time_t>(seconds) : static_cast<time_t>(-1);
}
