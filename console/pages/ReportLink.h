// The scanned-files report of a scan job, opened from "Files monitored".
#pragma once

#include "platform/win/WinTypes.h"

class CComponentData;

void ShowScannedFilesReport(CComponentData* componentData, LONG profileId);
