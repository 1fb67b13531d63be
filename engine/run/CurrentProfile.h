// Taking the next scan job off the queue SPROFILES.
#pragma once

#include "platform/win/WinTypes.h"

// S_OK when a job was taken, S_FALSE when the queue was empty (the current
// job stays as it was), E_FAIL on an unexpected failure (job 1).
HRESULT GetCurrentProfile();
