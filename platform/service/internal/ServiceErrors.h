// The system's texts for the errors the service calls report, as the
// operator tools print them.
#pragma once

#ifndef KV_PLATFORM_INTERNAL
#error "platform internals are not for use outside platform/"
#endif

#include "platform/win/WinTypes.h"

namespace kv::platform::service {

// The text of a Windows error code; a generic text for a code not listed.
const char* ErrorText(DWORD code);

}  // namespace kv::platform::service
