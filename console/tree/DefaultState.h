// The first start's monitored-files settings: the system drive belongs to
// scan job 1 except its top-level folders and the paging file; the Windows
// and system folders follow it; every other local drive is excluded. The
// extensions of the files met on the way, less the built-in list, become the
// excluded-extension list.
#pragma once

#include <string>

#include "console/data/ConsoleData.h"

void SetDefaultState(CConsoleData& data);

void AuxInsDep(CConsoleData& data, const std::string& path, LONG id);
void AuxDelDep(CConsoleData& data, const std::string& folder);
void AuxExclFlds(CConsoleData& data, const std::string& pattern, const std::string& name, LONG id);

// Adds a file name's extension to the collected list unless the defaults
// never exclude it. Names without "." add nothing.
void CollectExtension(const std::string& fileName, std::string& collected);
