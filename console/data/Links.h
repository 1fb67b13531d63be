// The cache of explicit path settings and the counts of settings below a
// folder.
#pragma once

#include <string>

#include "console/data/ConsoleData.h"

// Rebuilds the cache from the rows that do not follow their folder, and
// deletes the rows of paths that no longer exist.
HRESULT InitFileProfLnk(CConsoleData& data);

enum class ExceptionCount { Tree, Page };
// Rows strictly below a folder path (with its trailing backslash); 0 when the
// count cannot be read.
long CountExceptions(CConsoleData& data, const std::string& folderPath, ExceptionCount variant);

// The path's fingerprint, as the engine computes it; empty when it cannot be
// computed (logged).
std::string PathFingerprint(const std::string& path);
