// Whole-file operations: DeleteFileA, MoveFileExA, CopyFileA, and the
// temporary folder and names (GetTempPathA, GetTempFileNameA).
//
// Paths are in Windows form and found as every open finds them (see
// platform/fs/internal/Resolve.h): a missing name is looked up without regard to
// case, and a link is acted on as the entry it is, never through to its
// target. A destination that exists only as a case-variant of the name
// given is that file: it is replaced, or refused, under its own name.
//
// A file that takes the place of another does so whole: a rename within one
// file system, and across file systems (MOVEFILE_COPY_ALLOWED, CopyFileA) a
// copy written beside the destination and renamed over it. A reader of the
// destination sees the old file or the new one, never a part, never none.
#pragma once

#include "platform/win/WinTypes.h"

#define MOVEFILE_REPLACE_EXISTING 0x00000001u
#define MOVEFILE_COPY_ALLOWED 0x00000002u
#define MOVEFILE_WRITE_THROUGH 0x00000008u

// A file, not a folder (ERROR_ACCESS_DENIED for one).
BOOL DeleteFileA(LPCSTR fileName);
// Without MOVEFILE_REPLACE_EXISTING an existing destination is refused with
// ERROR_ALREADY_EXISTS; across file systems without MOVEFILE_COPY_ALLOWED
// the move is refused with ERROR_NOT_SAME_DEVICE.
BOOL MoveFileExA(LPCSTR existingFileName, LPCSTR newFileName, DWORD flags);
inline BOOL MoveFileA(LPCSTR existingFileName, LPCSTR newFileName) {
    return MoveFileExA(existingFileName, newFileName, 0);
}
// The content of a regular file; failIfExists refuses an existing
// destination with ERROR_FILE_EXISTS. The copy is its owner's alone.
BOOL CopyFileA(LPCSTR existingFileName, LPCSTR newFileName, BOOL failIfExists);

// The temporary folder in Windows form with a final "\": TMP, TEMP or
// TMPDIR (the first that is set), else /tmp. The length written without the
// terminating zero, or the size needed when the buffer is too small.
DWORD GetTempPathA(DWORD bufferLength, LPSTR buffer);
// pathName + "\" + up to three characters of prefix + four hexadecimal
// digits + ".TMP" into a buffer of MAX_PATH. With unique 0 a number is
// chosen and the file created empty (never an existing one); otherwise the
// name is made from unique alone. The number used, or 0 on failure.
UINT GetTempFileNameA(LPCSTR pathName, LPCSTR prefixString, UINT unique, LPSTR tempFileName);
