// File handles: CreateFile, ReadFile, WriteFile, SetFilePointer, CloseHandle.
// Paths are in Windows form (see PathMap) and are resolved as the folder
// enumeration resolves them (platform/fs/internal/Resolve.h): below a drive root no
// link is ever followed, the last part of the path included, so a link is
// refused (ERROR_PATH_NOT_FOUND) rather than its target opened. Files the
// system creates are readable and writable by their owner alone. A writer that does not share write
// access holds an exclusive lock on the file while it is open, so a second
// such writer is refused with ERROR_SHARING_VIOLATION, as on Windows.
// An open for reading alone is for the content of a regular file: a folder,
// FIFO, socket or device is refused with ERROR_ACCESS_DENIED without waiting
// on it or acting on it, and a reader that does not share write access is
// refused with ERROR_SHARING_VIOLATION while such a writer holds the file.
// FILE_FLAG_SEQUENTIAL_SCAN asks the file cache to read ahead.
#pragma once

#include "platform/win/Handle.h"

#define GENERIC_READ 0x80000000u
#define GENERIC_WRITE 0x40000000u
#define FILE_SHARE_READ 0x00000001u
#define FILE_SHARE_WRITE 0x00000002u
#define FILE_SHARE_DELETE 0x00000004u
#define CREATE_NEW 1u
#define CREATE_ALWAYS 2u
#define OPEN_EXISTING 3u
#define OPEN_ALWAYS 4u
#define TRUNCATE_EXISTING 5u
#define FILE_ATTRIBUTE_NORMAL 0x00000080u
#define FILE_FLAG_SEQUENTIAL_SCAN 0x08000000u
#define FILE_BEGIN 0u
#define FILE_CURRENT 1u
#define FILE_END 2u
#define INVALID_SET_FILE_POINTER ((DWORD)-1)
#ifndef READ_CONTROL
#define READ_CONTROL 0x00020000u
#endif
#define FILE_FLAG_BACKUP_SEMANTICS 0x02000000u
#define FILE_FLAG_OPEN_REPARSE_POINT 0x00200000u

HANDLE CreateFileA(LPCSTR fileName, DWORD desiredAccess, DWORD shareMode, void* security,
                   DWORD creationDisposition, DWORD flagsAndAttributes, HANDLE templateFile);
BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD toRead, LPDWORD read, void* overlapped);
BOOL WriteFile(HANDLE file, const void* buffer, DWORD toWrite, LPDWORD written, void* overlapped);
DWORD SetFilePointer(HANDLE file, LONG distance, LONG* distanceHigh, DWORD method);

namespace kv::platform {
// The descriptor behind a file handle, for the other stand-ins; -1 for
// anything else. A handle opened without read or write access (READ_CONTROL
// alone, as for GetSecurityInfo) names the object itself and reads nothing.
int FileDescriptor(HANDLE file);

// CreateFileA of an existing entry of an open folder (a descriptor), by its
// name alone: the file a folder listing named, whatever has become of the
// path to that folder since. The name is never followed if it is a link.
HANDLE OpenFileAt(int folder, LPCSTR name, DWORD desiredAccess, DWORD shareMode, DWORD flagsAndAttributes);
}
