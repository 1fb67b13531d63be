// The excluded file extensions: the machine-wide file ExtExcluded.dat (one
// extension per line, CR LF or LF, no dot, any case; an empty line is the
// empty extension) and a scan job's OLD_EXT_LIST text ("EXE;TMP;LOG;").
#pragma once

#include <string>

#include "engine/scope/ScopeLists.h"

// merge false replaces the list's content; merge true adds only texts not yet
// in it. A missing file gives an empty list without a message.
void LoadExtensionFile(const std::string& file, TextList& list, bool merge);
void ParseOldExtList(const std::string& text, TextList& list, bool merge);
std::string FormatOldExtList(const TextList& list);
