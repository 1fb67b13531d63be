// The statements on the scan-job table and the scan-job choice list.
#pragma once

#include <string>
#include <vector>

#include "console/data/ConsoleData.h"
#include "console/data/ProfileRecord.h"

// Rebuilds the choice list: entry 0 (no scan job), then one per scan job.
HRESULT InitProfiles(CConsoleData& data);

// Every scan job as a record, in the order of the query; S_FALSE when the
// table could not be read or is empty (logged as the scan jobs node does).
HRESULT ReadProfileRecords(CConsoleData& data, std::vector<CProfileRecord>& records);

// The language string that refuses a new name, or 0 when it is acceptable:
// 83 for "<" or ">", 76 when another scan job has exactly this name.
UINT CheckProfileName(const std::string& name, const std::vector<std::string>& otherNames);

// Inserts a new scan job with the default addresses and the given subject
// and reads its identifier back (0 when it could not be read).
LONG InsertProfile(CConsoleData& data, const std::string& name, const std::string& subject);
std::string InsertProfileStatement(const std::string& name, const std::string& subject);

void RenameProfile(CConsoleData& data, LONG id, const std::string& name);
void DeleteProfileRow(CConsoleData& data, LONG id);
// Writes the opposite of the current flag.
void ToggleProfileEnabled(CConsoleData& data, LONG id, bool currentlyEnabled);

// True when a cached explicit setting belongs to the scan job.
bool IsProfileInUse(const CConsoleData& data, LONG id);
