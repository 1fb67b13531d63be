// Folder enumeration: FindFirstFileA, FindNextFileA, FindClose.
//
// "X:\folder\*.*" (or "*", or another pattern of "*" and "?", matched
// without regard to ASCII case; "*.*" matches every name) lists a folder:
// "." and ".." come first except in a drive root, then the entries in the
// order the file system keeps them (not sorted). An entry is described
// itself, as lstat sees it:
//   - a symbolic link is an entry of its own and never followed: a file
//     (never FILE_ATTRIBUTE_DIRECTORY) with FILE_ATTRIBUTE_SYSTEM and
//     FILE_ATTRIBUTE_REPARSE_POINT, dwReserved0 IO_REPARSE_TAG_SYMLINK, and
//     the length of its target as its size;
//   - a folder where another file system is mounted (/proc, /sys, /dev,
//     /run under a drive mapped to /) carries FILE_ATTRIBUTE_REPARSE_POINT
//     with dwReserved0 IO_REPARSE_TAG_MOUNT_POINT, unless a drive letter maps
//     to it and that drive is fixed or of unknown type;
//   - FIFOs, sockets and devices are files with FILE_ATTRIBUTE_SYSTEM; the
//     enumeration never opens an entry, so none of them can block it.
// Folders have size 0. The attribute byte is defined in Attributes.h; the
// times are the last write (mtime), last access (atime) and creation time
// (birth time where the file system keeps one, else the status-change time).
// The folder is read whole when the enumeration starts and no descriptor
// stays open with the handle, so a walk may keep an enumeration open on
// every level of a tree deeper than the open-file limit.
// An entry whose status cannot be read (a folder with read but no search
// permission) is listed with its name, the folder bit when the folder says
// so, and zero times and size. An entry that vanishes while the folder is
// listed is left out.
//
// A Linux name may hold "\", which a Windows path would read as a separator:
// such an entry is listed as it is, and the walk must skip it (see
// IsRepresentableName) rather than build a path from it.
//
// Errors: ERROR_PATH_NOT_FOUND (no such folder, not a folder, a path through
// a symbolic link, an unmapped drive), ERROR_ACCESS_DENIED (the folder
// denies listing), ERROR_FILE_NOT_FOUND (nothing matches, as in an empty
// drive root), ERROR_NO_MORE_FILES from FindNextFileA at the end.
#pragma once

#include "platform/fs/FileTime.h"
#include "platform/win/WinTypes.h"

#ifndef ERROR_TOO_MANY_OPEN_FILES
#define ERROR_TOO_MANY_OPEN_FILES 4L
#endif

struct WIN32_FIND_DATAA {
    DWORD dwFileAttributes;
    FILETIME ftCreationTime;
    FILETIME ftLastAccessTime;
    FILETIME ftLastWriteTime;
    DWORD nFileSizeHigh;
    DWORD nFileSizeLow;
    DWORD dwReserved0;  // reparse tag when FILE_ATTRIBUTE_REPARSE_POINT is set
    DWORD dwReserved1;
    CHAR cFileName[MAX_PATH];
    CHAR cAlternateFileName[14];
};
typedef WIN32_FIND_DATAA* LPWIN32_FIND_DATAA;

// A handle for FindNextFileA and FindClose, or INVALID_HANDLE_VALUE with the
// error in GetLastError.
HANDLE FindFirstFileA(LPCSTR fileName, WIN32_FIND_DATAA* findData);
BOOL FindNextFileA(HANDLE findFile, WIN32_FIND_DATAA* findData);
BOOL FindClose(HANDLE findFile);

namespace kv::platform {

// CreateFileA (OPEN_EXISTING) of an entry that an enumeration listed, by its
// name: opened relative to the listed folder itself, never through a link
// nor through a folder put in the listed one's place since (that gives
// ERROR_PATH_NOT_FOUND). Each thread holds one folder open for this at a
// time, whatever the number of enumerations, until it opens a file of another
// listing or ends. Safe to call from several threads on the same listing
// while no thread closes it.
HANDLE OpenFoundFile(HANDLE findFile, LPCSTR name, DWORD desiredAccess, DWORD shareMode,
                     DWORD flagsAndAttributes);

// The entry ahead places after the one the enumeration returned last (1: the
// one FindNextFileA returns next), without moving on; false past the end.
// Lets a caller start work on entries before it reaches them.
bool PeekFoundEntry(HANDLE findFile, size_t ahead, WIN32_FIND_DATAA& data);

// False for a name that a Windows path cannot carry: one holding "\" (it
// would read as a folder path), or an empty one.
bool IsRepresentableName(LPCSTR name);

// A folder the walk may enter: a folder that is neither a link nor the
// mount point of another file system.
bool IsWalkableFolder(const WIN32_FIND_DATAA& data);

// An entry whose content may be opened and read: a regular file (not a
// folder, link, FIFO, socket or device).
bool HasFileContent(const WIN32_FIND_DATAA& data);

}  // namespace kv::platform
