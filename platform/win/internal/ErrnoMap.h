// The one translation of a POSIX error number into the Windows error code
// the same failure gives on Windows. A stand-in whose call has a meaning of
// its own for some failure (a full event log, a path that cannot be
// resolved) answers those first and hands the rest to this map.
#pragma once

#ifndef KV_PLATFORM_INTERNAL
#error "platform internals are not for use outside platform/"
#endif

#include "platform/win/WinTypes.h"

namespace kv::platform {

// otherwise: the code for an error number the map does not know.
DWORD WindowsErrorFromErrno(int error, DWORD otherwise = ERROR_INVALID_FUNCTION);

}  // namespace kv::platform
