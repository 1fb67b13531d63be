// System information: version, user-interface language, computer name, local
// time and sleeping.
#pragma once

#include "platform/win/WinTypes.h"

#define VER_PLATFORM_WIN32s 0u
#define VER_PLATFORM_WIN32_WINDOWS 1u
#define VER_PLATFORM_WIN32_NT 2u

struct OSVERSIONINFOA {
    DWORD dwOSVersionInfoSize;
    DWORD dwMajorVersion;
    DWORD dwMinorVersion;
    DWORD dwBuildNumber;
    DWORD dwPlatformId;
    CHAR szCSDVersion[128];
};

struct SYSTEMTIME {
    WORD wYear;
    WORD wMonth;
    WORD wDayOfWeek;
    WORD wDay;
    WORD wHour;
    WORD wMinute;
    WORD wSecond;
    WORD wMilliseconds;
};

// Windows NT 5.1 (XP). KESTRAVA_WINVER takes other paths: "4.0" (NT 4.0),
// "9x" (Windows 98), "fail" (the call fails).
BOOL GetVersionExA(OSVERSIONINFOA* info);

// From LC_ALL, LC_MESSAGES or LANG (the first one set): de_DE gives 0x0407,
// es_ES 0x0C0A, and so on; C and POSIX give 0x0409; a language this table
// does not know gives 0.
LANGID GetUserDefaultUILanguage();

// The host name's first label in upper case, at most 15 characters.
BOOL GetComputerNameA(LPSTR buffer, LPDWORD size);

void GetLocalTime(SYSTEMTIME* time);
void Sleep(DWORD milliseconds);
DWORD GetTickCount();

namespace kv::platform {
// Maps a locale name such as "de_DE.UTF-8" to its LANGID (0 when unknown).
LANGID LangIdFromLocale(const char* locale);
}
