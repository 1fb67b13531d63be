// Date and time texts as the C library's default locale writes them: "%x"
// gives 12/07/26, "%X" gives 23:02:21 and "%c" both, separated by a blank.
// Written out here so that they read the same whatever the process locale.
#pragma once

#include <ctime>
#include <string>

std::string DateText(time_t time);      // %x
std::string TimeOfDayText(time_t time); // %X
std::string DateTimeText(time_t time);  // %c

// The calendar time of local date and time fields, daylight saving decided
// by the rules for that date; -1 when the fields name no time.
time_t LocalCalendarTime(int year, int month, int day, int hour, int minute, int second);
