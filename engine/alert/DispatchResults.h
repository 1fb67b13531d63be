// The comparison of a check's capture with the baseline: one event record per
// added, changed and removed item and one alert e-mail for all of them.
#pragma once

#include <string>

#include "platform/win/WinTypes.h"

#define DISPATCH_STOPPED 15

// S_OK when it ran to its end (also after a database error), 15 when it
// stopped on the stop flag (nothing sent).
HRESULT DispatchResults();

// The names an alert gives a row's PATH: C:\x.dll is x.dll in C:\, the folder
// C:\Windows\ is Windows in C:\ (full path C:\Windows), the drive C:\ is C: in
// C:\ (full path C:).
struct ItemNames {
    std::string fullPath;
    std::string name;
    std::string folder;
};
ItemNames NamesOfPath(const std::string& path);
