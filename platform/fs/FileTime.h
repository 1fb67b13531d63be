// File times: FILETIME counts 100-nanosecond intervals since 1 January 1601
// UTC, as Windows does; the conversions to local time and calendar fields
// that the system's code uses.
//
// FileTimeToLocalFileTime applies the offset from UTC that was in force at
// the instant converted (daylight saving decided for that date), not the
// offset in force now as Windows does: otherwise every time stored before a
// change of season would read one hour off after it, and every file would
// look modified at the first check after the clocks change.
#pragma once

#include <ctime>

#include "platform/system/SystemInfo.h"
#include "platform/win/WinTypes.h"

struct FILETIME {
    DWORD dwLowDateTime;
    DWORD dwHighDateTime;
};
typedef FILETIME* LPFILETIME;

// UTC to local file time and back. LocalFileTimeToFileTime reads the local
// fields with daylight saving decided from the rules for that date, so a
// local time that a change of season makes ambiguous or skips reads as the
// C library's mktime reads it.
BOOL FileTimeToLocalFileTime(const FILETIME* fileTime, FILETIME* localFileTime);
BOOL LocalFileTimeToFileTime(const FILETIME* localFileTime, FILETIME* fileTime);

// Calendar fields of a file time, no time zone involved. Fails with
// ERROR_INVALID_PARAMETER for a value of 0x8000000000000000 and above.
BOOL FileTimeToSystemTime(const FILETIME* fileTime, SYSTEMTIME* systemTime);
// Fails with ERROR_INVALID_PARAMETER unless every field is in range (year
// 1601 to 30827; wDayOfWeek is ignored).
BOOL SystemTimeToFileTime(const SYSTEMTIME* systemTime, FILETIME* fileTime);

// -1, 0 or 1.
LONG CompareFileTime(const FILETIME* first, const FILETIME* second);

namespace kv::platform {

// A POSIX time (seconds and nanoseconds since 1970 UTC) as a file time;
// instants before 1601 give 0.
FILETIME FileTimeFromUnix(int64_t seconds, uint32_t nanoseconds);
// Days since 1970-01-01 of a date of the proleptic Gregorian calendar.
int64_t DaysFromCivil(int64_t year, unsigned month, unsigned day);
// Whole seconds since 1970 UTC, rounded down.
int64_t UnixSecondsFromFileTime(const FILETIME& fileTime);
// The local calendar fields of a POSIX instant, as localtime_r gives them
// (without tm_isdst and the zone's name), from the offset in force then.
bool LocalTimeFields(int64_t seconds, struct tm& fields);
// Back: the POSIX instant of local calendar fields, as mktime reads them
// with daylight saving decided from the rules for that date.
bool LocalInstant(const struct tm& fields, int64_t& seconds);

}  // namespace kv::platform
