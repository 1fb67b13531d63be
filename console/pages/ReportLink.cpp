#include "console/pages/ReportLink.h"

// Stands in until the report is part of the module.
void ShowScannedFilesReport(CComponentData*, LONG) {}
