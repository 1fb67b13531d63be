// ShellExecute for the "open" verb of a program: the program (a Windows path
// through the drive map; "X.exe" runs X when only X exists) with its
// parameters, started the way a scheduled work item's application starts, but
// let go at once: detached from the caller (init reaps it), in a session of
// its own with no controlling terminal, its standard input and output on
// /dev/null, which is what a hidden window means here. The caller does not
// wait for it.
#pragma once

#include "platform/win/WinTypes.h"

#define SW_HIDE 0
#define SW_SHOWNORMAL 1
#define SW_SHOW 5
// Results of 32 and below are errors.
#define SE_ERR_FNF 2
#define SE_ERR_PNF 3
#define SE_ERR_ACCESSDENIED 5
#define SE_ERR_OOM 8
#define SE_ERR_NOASSOC 31

// Returns a value above 32 on success; on failure an SE_ERR_* value, with
// the Windows error in GetLastError. Only "open" (or a null verb) of a
// program is known; other verbs and documents give SE_ERR_NOASSOC.
HINSTANCE ShellExecuteA(HWND window, LPCSTR operation, LPCSTR file, LPCSTR parameters, LPCSTR directory,
                        int showCommand);
