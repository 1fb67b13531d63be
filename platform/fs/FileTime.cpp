#include "platform/fs/FileTime.h"

#include <time.h>

#include <chrono>
#include <cstdlib>
#include <mutex>
#include <string>
#include <unordered_map>

#include "platform/win/LastError.h"

namespace {

constexpr int64_t kTicksPerSecond = 10000000;
// Seconds from 1601-01-01 to 1970-01-01.
constexpr int64_t kEpochDifference = 11644473600;
// 30827-12-31 23:59:59.999, the last instant a SYSTEMTIME can hold.
constexpr uint64_t kLargestFileTime = 0x7FFFFFFFFFFFFFFFull;

uint64_t ToTicks(const FILETIME& time) {
    return (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

FILETIME FromTicks(uint64_t ticks) {
    FILETIME time;
    time.dwLowDateTime = static_cast<DWORD>(ticks);
    time.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
    return time;
}

// Back from days since 1970-01-01 to a date (Howard Hinnant's algorithm).

void CivilFromDays(int64_t days, int64_t& year, unsigned& month, unsigned& day) {
    days += 719468;
    const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const unsigned dayOfEra = static_cast<unsigned>(days - era * 146097);
    const unsigned yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const unsigned dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const unsigned mp = (5 * dayOfYear + 2) / 153;
    day = dayOfYear - (153 * mp + 2) / 5 + 1;
    month = mp < 10 ? mp + 3 : mp - 9;
    year = static_cast<int64_t>(yearOfEra) + era * 400 + (month <= 2);
}

bool IsLeap(int64_t year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

unsigned DaysInMonth(int64_t year, unsigned month) {
    static const unsigned kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeap(year) ? 29 : kDays[month - 1];
}

// The C library checks the zone file (a file status) at every conversion
// that involves the local zone; a check converts a few times for every item
// it reports, and the walk three per entry. Offsets only change on quarter
// hours, so the answers are kept per quarter hour and per TZ setting, and
// forgotten every second: a new zone file is still seen within a second.
class ZoneAnswers {
public:
    // The offset east of UTC in seconds in force at a POSIX instant.
    bool OffsetAt(int64_t seconds, long& offset) {
        std::lock_guard<std::mutex> hold(m_lock);
        Refresh();
        const int64_t quarter = Quarter(seconds);
        if (auto hit = m_offsets.find(quarter); hit != m_offsets.end()) {
            offset = hit->second;
            return true;
        }
        time_t when = static_cast<time_t>(seconds);
        struct tm local {};
        if (::localtime_r(&when, &local) == nullptr) return false;
        Keep(m_offsets, quarter, local.tm_gmtoff);
        offset = local.tm_gmtoff;
        return true;
    }

    // The POSIX instant of local calendar fields as mktime reads them; false
    // where mktime fails.
    bool InstantOf(struct tm fields, int64_t& seconds) {
        std::lock_guard<std::mutex> hold(m_lock);
        Refresh();
        // Fields mktime would carry over are read by it alone.
        const bool plain = fields.tm_mon >= 0 && fields.tm_mon < 12 && fields.tm_mday >= 1 && fields.tm_mday <= 31 &&
                           fields.tm_hour >= 0 && fields.tm_hour < 24 && fields.tm_min >= 0 && fields.tm_min < 60 &&
                           fields.tm_sec >= 0 && fields.tm_sec < 60;
        const int64_t asUtc =
            plain ? kv::platform::DaysFromCivil(static_cast<int64_t>(fields.tm_year) + 1900,
                                                static_cast<unsigned>(fields.tm_mon + 1),
                                                static_cast<unsigned>(fields.tm_mday)) * 86400 +
                        fields.tm_hour * 3600 + fields.tm_min * 60 + fields.tm_sec
                  : 0;
        const int64_t quarter = Quarter(asUtc);
        if (plain) {
            if (auto hit = m_shifts.find(quarter); hit != m_shifts.end()) {
                seconds = asUtc + hit->second;
                return true;
            }
        }
        fields.tm_isdst = -1;
        const time_t converted = ::mktime(&fields);
        if (converted == static_cast<time_t>(-1) && fields.tm_year != 69) return false;
        seconds = static_cast<int64_t>(converted);
        if (plain) Keep(m_shifts, quarter, seconds - asUtc);
        return true;
    }

private:
    static int64_t Quarter(int64_t seconds) { return seconds >= 0 ? seconds / 900 : (seconds - 899) / 900; }
    template <typename Value>
    static void Keep(std::unordered_map<int64_t, Value>& answers, int64_t quarter, Value value) {
        if (answers.size() >= 4096) answers.clear();
        answers.emplace(quarter, value);
    }
    void Refresh() {
        const char* tz = std::getenv("TZ");
        const auto now = std::chrono::steady_clock::now();
        if ((tz != nullptr) == m_zoneSet && (tz == nullptr || m_zone == tz) && now - m_asked < std::chrono::seconds(1))
            return;
        m_offsets.clear();
        m_shifts.clear();
        m_zoneSet = tz != nullptr;
        m_zone = tz != nullptr ? tz : "";
        m_asked = now;
        ::tzset();
    }

    std::mutex m_lock;
    std::unordered_map<int64_t, long> m_offsets;  // quarter hour of UTC -> offset
    std::unordered_map<int64_t, int64_t> m_shifts;  // quarter hour of local time -> UTC minus local
    std::string m_zone;
    bool m_zoneSet = false;
    std::chrono::steady_clock::time_point m_asked;
};

ZoneAnswers& Zone() {
    static ZoneAnswers answers;
    return answers;
}

bool OffsetAt(int64_t seconds, long& offset) { return Zone().OffsetAt(seconds, offset); }

}  // namespace

BOOL FileTimeToLocalFileTime(const FILETIME* fileTime, FILETIME* localFileTime) {
    if (fileTime == nullptr || localFileTime == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    uint64_t ticks = ToTicks(*fileTime);
    long offset = 0;
    if (!OffsetAt(kv::platform::UnixSecondsFromFileTime(*fileTime), offset)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    int64_t shift = static_cast<int64_t>(offset) * kTicksPerSecond;
    if ((shift < 0 && ticks < static_cast<uint64_t>(-shift)) ||
        (shift > 0 && ticks > kLargestFileTime - static_cast<uint64_t>(shift))) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *localFileTime = FromTicks(ticks + static_cast<uint64_t>(shift));
    return TRUE;
}

BOOL LocalFileTimeToFileTime(const FILETIME* localFileTime, FILETIME* fileTime) {
    SYSTEMTIME fields {};
    if (localFileTime == nullptr || fileTime == nullptr ||
        !FileTimeToSystemTime(localFileTime, &fields)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    struct tm local {};
    local.tm_year = fields.wYear - 1900;
    local.tm_mon = fields.wMonth - 1;
    local.tm_mday = fields.wDay;
    local.tm_hour = fields.wHour;
    local.tm_min = fields.wMinute;
    local.tm_sec = fields.wSecond;
    int64_t seconds = 0;
    if (!Zone().InstantOf(local, seconds)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    FILETIME utc = kv::platform::FileTimeFromUnix(seconds, 0);
    *fileTime = FromTicks(ToTicks(utc) + ToTicks(*localFileTime) % kTicksPerSecond);
    return TRUE;
}

BOOL FileTimeToSystemTime(const FILETIME* fileTime, SYSTEMTIME* systemTime) {
    if (fileTime == nullptr || systemTime == nullptr || ToTicks(*fileTime) > kLargestFileTime) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    uint64_t ticks = ToTicks(*fileTime);
    int64_t totalSeconds = static_cast<int64_t>(ticks / kTicksPerSecond) - kEpochDifference;
    int64_t days = totalSeconds >= 0 ? totalSeconds / 86400 : -((-totalSeconds + 86399) / 86400);
    int64_t secondOfDay = totalSeconds - days * 86400;
    int64_t year = 0;
    unsigned month = 0, day = 0;
    CivilFromDays(days, year, month, day);
    systemTime->wYear = static_cast<WORD>(year);
    systemTime->wMonth = static_cast<WORD>(month);
    systemTime->wDay = static_cast<WORD>(day);
    // 1970-01-01 was a Thursday.
    systemTime->wDayOfWeek = static_cast<WORD>(((days % 7) + 11) % 7);
    systemTime->wHour = static_cast<WORD>(secondOfDay / 3600);
    systemTime->wMinute = static_cast<WORD>(secondOfDay / 60 % 60);
    systemTime->wSecond = static_cast<WORD>(secondOfDay % 60);
    systemTime->wMilliseconds = static_cast<WORD>(ticks % kTicksPerSecond / 10000);
    return TRUE;
}

BOOL SystemTimeToFileTime(const SYSTEMTIME* systemTime, FILETIME* fileTime) {
    if (systemTime == nullptr || fileTime == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const SYSTEMTIME& t = *systemTime;
    if (t.wYear < 1601 || t.wYear > 30827 || t.wMonth < 1 || t.wMonth > 12 || t.wDay < 1 ||
        t.wDay > DaysInMonth(t.wYear, t.wMonth) || t.wHour > 23 || t.wMinute > 59 ||
        t.wSecond > 59 || t.wMilliseconds > 999) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    int64_t seconds = kv::platform::DaysFromCivil(t.wYear, t.wMonth, t.wDay) * 86400 + t.wHour * 3600 +
                      t.wMinute * 60 + t.wSecond;
    uint64_t ticks = static_cast<uint64_t>(seconds + kEpochDifference) * kTicksPerSecond +
                     static_cast<uint64_t>(t.wMilliseconds) * 10000;
    *fileTime = FromTicks(ticks);
    return TRUE;
}

LONG CompareFileTime(const FILETIME* first, const FILETIME* second) {
    uint64_t a = ToTicks(*first), b = ToTicks(*second);
    return a < b ? -1 : a > b ? 1 : 0;
}

namespace kv::platform {

int64_t DaysFromCivil(int64_t year, unsigned month, unsigned day) {
    year -= month <= 2;
    const int64_t era = (year >= 0 ? year : year - 399) / 400;
    const unsigned yearOfEra = static_cast<unsigned>(year - era * 400);
    const unsigned dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + static_cast<int64_t>(dayOfEra) - 719468;
}

FILETIME FileTimeFromUnix(int64_t seconds, uint32_t nanoseconds) {
    if (seconds < -kEpochDifference) return FromTicks(0);
    // Beyond what FILETIME can hold: the largest value.
    if (seconds > static_cast<int64_t>(kLargestFileTime / kTicksPerSecond) - kEpochDifference - 1)
        return FromTicks(kLargestFileTime);
    uint64_t ticks = static_cast<uint64_t>(seconds + kEpochDifference) * kTicksPerSecond +
                     (nanoseconds % 1000000000u) / 100;
    return FromTicks(ticks);
}

int64_t UnixSecondsFromFileTime(const FILETIME& fileTime) {
    return static_cast<int64_t>(ToTicks(fileTime) / kTicksPerSecond) - kEpochDifference;
}

bool LocalTimeFields(int64_t seconds, struct tm& fields) {
    long offset = 0;
    if (!OffsetAt(seconds, offset)) return false;
    const time_t shifted = static_cast<time_t>(seconds + offset);
    if (::gmtime_r(&shifted, &fields) == nullptr) return false;
    fields.tm_gmtoff = offset;
    return true;
}

bool LocalInstant(const struct tm& fields, int64_t& seconds) { return Zone().InstantOf(fields, seconds); }

}  // namespace kv::platform
