// Date-time pickers: one value; a picker with DTS_TIMEFORMAT edits its time
// of day, the others its date.
#include <cstring>

#include "platform/ui/CommCtrl.h"
#include "platform/ui/window/Controls.h"

namespace kv::ui::detail {
namespace {

struct DateTimeData : ControlData {
    SYSTEMTIME value{};
    bool none = false;
    std::string format;
};

DateTimeData* Data(Window* window) {
    if (!window->control) {
        auto data = std::make_unique<DateTimeData>();
        GetLocalTime(&data->value);
        data->value.wMilliseconds = 0;
        window->control = std::move(data);
    }
    return static_cast<DateTimeData*>(window->control.get());
}

bool Valid(const SYSTEMTIME& t) {
    static const int days[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (t.wYear < 1601 || t.wYear > 9999 || t.wMonth < 1 || t.wMonth > 12 || t.wDay < 1) return false;
    bool leap = (t.wYear % 4 == 0 && t.wYear % 100 != 0) || t.wYear % 400 == 0;
    int limit = t.wMonth == 2 && !leap ? 28 : days[t.wMonth - 1];
    return t.wDay <= limit && t.wHour < 24 && t.wMinute < 60 && t.wSecond < 60 && t.wMilliseconds < 1000;
}

}  // namespace

SYSTEMTIME WithDayOfWeek(SYSTEMTIME time) {
    // Sakamoto's rule for the Gregorian calendar; 0 is Sunday as on Windows.
    static const int offsets[] = {0, 3, 2, 5, 0, 3, 5, 1, 4, 6, 2, 4};
    int year = time.wYear - (time.wMonth < 3 ? 1 : 0);
    int month = time.wMonth >= 1 && time.wMonth <= 12 ? time.wMonth : 1;
    time.wDayOfWeek = static_cast<WORD>((year + year / 4 - year / 100 + year / 400 + offsets[month - 1] + time.wDay) % 7);
    return time;
}

LRESULT DateTimeProc(HWND handle, UINT message, WPARAM wParam, LPARAM lParam) {
    Window* window = OwnWindow(handle);
    if (window == nullptr) return 0;
    DateTimeData* data = Data(window);
    switch (message) {
        case DTM_GETSYSTEMTIME:
            if (lParam == 0) return GDT_ERROR;
            if (data->none) return GDT_NONE;
            *reinterpret_cast<SYSTEMTIME*>(lParam) = data->value;
            return GDT_VALID;
        case DTM_SETSYSTEMTIME:
            if (wParam == static_cast<WPARAM>(GDT_NONE)) {
                if ((window->style & DTS_SHOWNONE) == 0) return FALSE;
                data->none = true;
            } else {
                if (lParam == 0) return FALSE;
                SYSTEMTIME value = *reinterpret_cast<const SYSTEMTIME*>(lParam);
                if (!Valid(value)) return FALSE;
                data->value = WithDayOfWeek(value);
                data->none = false;
            }
            MarkDirty(window);
            return TRUE;
        case DTM_SETFORMAT:
            data->format = lParam != 0 ? reinterpret_cast<const char*>(lParam) : "";
            MarkDirty(window);
            return TRUE;
        default:
            return DefWindowProc(handle, message, wParam, lParam);
    }
}

void SetTimeByUser(Window* window, const SYSTEMTIME& given) {
    DateTimeData* data = Data(window);
    SYSTEMTIME value = data->value;
    if ((window->style & DTS_TIMEFORMAT) == DTS_TIMEFORMAT) {
        value.wHour = given.wHour;
        value.wMinute = given.wMinute;
        value.wSecond = given.wSecond;
    } else {
        value.wYear = given.wYear;
        value.wMonth = given.wMonth;
        value.wDay = given.wDay;
    }
    value.wMilliseconds = 0;
    if (!Valid(value)) return;
    value = WithDayOfWeek(value);
    if (!data->none && std::memcmp(&value, &data->value, sizeof value) == 0) return;
    data->value = value;
    data->none = false;
    MarkDirty(window);
    NMDATETIMECHANGE change{};
    change.dwFlags = GDT_VALID;
    change.st = value;
    Notify(window, DTN_DATETIMECHANGE, &change.nmhdr);
}

void DescribeDateTime(Window* window, WindowView& view) {
    view.time = Data(window)->value;
    view.timeFormat = (window->style & DTS_TIMEFORMAT) == DTS_TIMEFORMAT;
    if (Data(window)->none) view.time = SYSTEMTIME{};
}

}  // namespace kv::ui::detail
