// Drives: the letters of $KESTRAVA_ROOT/dosdevices (a link "c:" to the
// folder drive C: stands for, as Wine keeps them), their types, and the
// current directory.
#pragma once

#include "platform/win/WinTypes.h"

#define DRIVE_UNKNOWN 0u
#define DRIVE_NO_ROOT_DIR 1u
#define DRIVE_REMOVABLE 2u
#define DRIVE_FIXED 3u
#define DRIVE_REMOTE 4u
#define DRIVE_CDROM 5u
#define DRIVE_RAMDISK 6u

// Bit 0 for A: to bit 25 for Z:, set for every letter that has a link, also
// one whose target is missing.
DWORD GetLogicalDrives();
// "A:\", "C:\", ... each followed by a null, and one more null at the end;
// the length without the last null, or the size needed (with it) when the
// buffer is too small.
DWORD GetLogicalDriveStringsA(DWORD bufferLength, LPSTR buffer);

// The type of the drive "X:", "X:\" or "X:/" (null: the current drive),
// from the mount that holds the drive's folder (see MountTable.h).
// DRIVE_NO_ROOT_DIR for an unmapped letter, a link whose target is missing
// or not a folder, and anything that is not a drive root; DRIVE_UNKNOWN when
// the mounts cannot be read.
UINT GetDriveTypeA(LPCSTR rootPathName);

// The current directory is kept by this process in Windows form and no
// process-wide chdir happens: "X:" makes drive X current (its root, or the
// current directory when that is already on X), any other path must name an
// existing folder one can enter. Fails with ERROR_PATH_NOT_FOUND (also for a
// link whose target is missing), ERROR_DIRECTORY for a file, or
// ERROR_ACCESS_DENIED. The initial current directory is the process's
// working folder in Windows form.
BOOL SetCurrentDirectoryA(LPCSTR pathName);
// Length without the null, or the size needed (with it) when the buffer is
// too small.
DWORD GetCurrentDirectoryA(DWORD bufferLength, LPSTR buffer);

#ifndef ERROR_DIRECTORY
#define ERROR_DIRECTORY 267L
#endif
