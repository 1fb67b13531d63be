// The scanned-files report of one scan job, shown in a new browser window.
#pragma once

#include "platform/win/WinTypes.h"

class CComponentData;
class CConsoleData;
class CReportPageWriter;

void ShowScannedFilesReport(CComponentData* componentData, LONG profileId);

// The whole page for a scan job into an opened writer.
void WriteScannedFilesReport(CConsoleData& data, LONG profileId, CReportPageWriter& writer);
