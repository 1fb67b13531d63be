// Message boxes of a program without a desktop: caption and text become one
// line on standard error and in the system log, and the answer is OK. When
// KESTRAVA_MSGBOX_LOG names a file, the line is appended there too.
#pragma once

#include "platform/win/WinTypes.h"

#define MB_OK 0x00000000u
#define MB_ICONERROR 0x00000010u
#define MB_ICONINFORMATION 0x00000040u
#define MB_ICONEXCLAMATION 0x00000030u
#define MB_SERVICE_NOTIFICATION 0x00200000u
#define IDOK 1

int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type);
