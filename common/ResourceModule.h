// Selection of the language library OrvRes<LANGID>.dll by the user-interface
// language, with OrvRes409.dll as the fallback, and loading of its strings.
#pragma once

#include <string>

#include "platform/win/WinTypes.h"

// 2 on Windows NT 5.0 or later, 1 on earlier NT, 0 elsewhere; set by
// GetResourceModule.
extern BYTE g_bWindowsFamily;

// The loaded language library, or null when even the fallback is missing.
HMODULE GetResourceModule();

// The module every string load of the deliverable goes to.
void SetResourceHandle(HMODULE module);
HMODULE GetResourceHandle();

// Service: a copy of the text (free it with CoTaskMemFree), at most 499
// characters; null when it cannot be loaded.
char* LoadModuleString(UINT id);

// Console: fills text (at most 255 characters) and returns 0; 1 when the text
// cannot be loaded, leaving text unchanged.
int LoadResourceString(UINT id, std::string& text);
// Console: the text, or empty when it cannot be loaded.
std::string ResourceText(UINT id);
