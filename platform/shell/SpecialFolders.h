// The Windows folder and the system folder. They are values the installation
// writes under HKLM\SOFTWARE\Microsoft\Windows NT\CurrentVersion:
// "SystemRoot" (default C:\usr) and "SystemDirectory" (default C:\usr\bin),
// the folders that hold this system's own programs and libraries.
#pragma once

#include "platform/win/WinTypes.h"

#define CSIDL_WINDOWS 0x0024
#define CSIDL_SYSTEM 0x0025

#define WINDOWS_VERSION_KEY "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion"
#define DEFAULT_WINDOWS_FOLDER "C:\\usr"
#define DEFAULT_SYSTEM_FOLDER "C:\\usr\\bin"

// Both return the length without the terminator, or the size needed
// (terminator included) when the buffer is too small.
UINT GetWindowsDirectoryA(LPSTR buffer, UINT size);
UINT GetSystemDirectoryA(LPSTR buffer, UINT size);
// Folders of the two CSIDLs above; FALSE for any other (path is then empty).
// path holds MAX_PATH characters.
BOOL SHGetSpecialFolderPathA(HWND owner, LPSTR path, int csidl, BOOL create);
