// One check of one scan job, and its two database steps.
#pragma once

#include "platform/win/WinTypes.h"

// The whole check: 0 when it ran (also when stopped), 1 when the database
// could not be opened, E_FAIL after an unexpected error.
HRESULT RunCheck(LONG* stopFlag);

// Empties CURRENT_DATA before the walk.
HRESULT PrepareData();
// Rolls the capture into the baseline of the current job.
HRESULT UpdateData();
