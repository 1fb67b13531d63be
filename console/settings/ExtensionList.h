// The excluded-extension list: one text of entries "*.EXT" joined by commas,
// and its file DATAPATH\ExtExcluded.dat with one extension a line.
#pragma once

#include <string>

extern std::string g_strExtList;

// The extensions the first-start defaults never exclude.
extern const char* const kBuiltInExtensionList;

// Rebuilds g_strExtList from the file; a missing file leaves it empty.
void GetExtensionList();
// Writes g_strExtList to the file, one extension a line, CR LF.
void SaveExtensionList();

// The file's Windows path.
std::string ExtensionFilePath();
