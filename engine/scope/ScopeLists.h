// The four lists a check's scope is decided by, rebuilt at every check.
#pragma once

#include <string>
#include <vector>

#include "platform/win/WinTypes.h"

typedef std::vector<std::string> TextList;

extern TextList g_cList;                    // paths of the current scan job, upper case
extern TextList g_oList;                    // paths of every other row, upper case
extern TextList g_excludedExtensions;       // from ExtExcluded.dat, upper case
extern TextList g_oldExcludedExtensions;    // the job's OLD_EXT_LIST, upper case

// Milliseconds MatchPathList pauses per call (MATCHDELAY, default 1).
extern DWORD g_dwMatchDelay;

// Upper case of the ASCII letters; other bytes, UTF-8 sequences among them,
// stay as they are, so engine and console compare paths alike.
std::string UpperCase(const std::string& text);

bool ListHolds(const TextList& list, const std::string& text);
