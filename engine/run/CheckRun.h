// One check of one scan job, and its two database steps.
#pragma once

#include "platform/win/WinTypes.h"

// The whole check: 0 when it ran (also when stopped), 1 when the database
// could not be opened, E_FAIL after an unexpected error.
HRESULT RunCheck(LONG* stopFlag);

// Empties CURRENT_DATA before the walk.
HRESULT PrepareData();
// Rolls the capture into the baseline of the current job: commits the roll
// StartUpdateData made, or makes it now.
HRESULT UpdateData();
// Makes the roll ahead, uncommitted, while the comparison reads (not for a
// first check, which has no comparison to wait for). Call once the capture
// is complete.
void StartUpdateData();
// Rolls back the roll made ahead, if any: the comparison did not report
// everything, so the baseline stays.
void AbandonUpdateData();
