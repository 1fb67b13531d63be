// What each check did, for the operator: a record when CheckFiles begins
// and one when it returns, with the job, the items captured, the items
// reported added, changed and removed, and the result. The counts come from
// two hooks, one where an item row is saved and one where an alert record is
// reported.
#pragma once

#include "platform/win/WinTypes.h"

// Runs one check between its two records; returns the check's result.
HRESULT RecordCheckOutcome(LONG* stopFlag, HRESULT (*check)(LONG*));

// One item row saved in the capture of the running check.
void CountCapturedItem();
// One alert record of the running check, by its category (changed, added,
// removed).
void CountReportedItem(WORD category);
