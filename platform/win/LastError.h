// Per-thread last-error code, as the Windows calls that report failure through
// GetLastError expect.
#pragma once

#include "platform/win/WinTypes.h"

DWORD GetLastError();
void SetLastError(DWORD code);
