// What the scanned-files report lists: one row for every drive, folder and
// file whose effective scan job is the report's, in the order of the walk,
// and the texts of a row.
#pragma once

#include <cstdint>
#include <string>

#include "console/data/ConsoleData.h"
#include "console/report/PageWriter.h"

// "1024 Bytes", "1.5 KBytes", ... "2.3 TBytes".
std::string ReportSizeText(uint64_t size);
// The folder column for an entry's path (without a trailing backslash):
// everything before its last backslash, "C:\" for an entry of a drive root.
std::string ReportFolderText(const std::string& path);
// The title's subject: the scan job's name, followed by text 5 for every
// job but the first.
std::string ReportSubject(const CConsoleData& data, LONG profileId);

// Refreshes the link cache, walks the drives and writes the rows.
void WriteReportRows(CConsoleData& data, LONG profileId, CReportPageWriter& writer);
