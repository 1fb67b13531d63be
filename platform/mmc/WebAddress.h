// Web addresses the process wants shown ("open" of an http(s) address in the
// shell): the console host shows them in the user's browser, in a tab of
// their own. Without a host nothing can show them.
#pragma once

#include "platform/mmc/GlobalMemory.h"

// False when no console host is there to show the address, or the address
// is not http(s).
KV_MMC_API bool KvOpenWebAddress(const char* address);

// The host's handler; null removes it. Called on the caller's thread.
typedef void (*KvWebAddressHandler)(const char* address, void* context);
KV_MMC_API void KvSetWebAddressHandler(KvWebAddressHandler handler, void* context);
