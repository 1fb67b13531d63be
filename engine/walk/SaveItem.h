// Appending the item row of a walked item to CURRENT_DATA.
#pragma once

#include "engine/walk/ScanItem.h"
#include "platform/win/WinTypes.h"

// S_OK, or E_FAIL when the database refused the row (reported, and the walk
// goes on).
HRESULT SaveItem(const ScanItem& item);
