// The rules every console view of the file system shares with the engine:
// which entries a folder shows, which names the excluded-extension list
// hides, and which scan job a path belongs to through the link cache.
#pragma once

#include <functional>
#include <string>

#include "console/data/ConsoleData.h"
#include "platform/fs/Find.h"

// The scan job of a path: the cache entry of the path itself, else of its
// nearest folder that has one, else 0 (monitored by no scan job).
LONG GetEffectiveProfile(const CConsoleData& data, const std::string& path);

// TRUE when the excluded-extension list (g_strExtList, "*.EXE,*.TMP") hides
// the entry named. A name without "." has the empty extension, which "*.VOID"
// stands for.
BOOL IsExcludedName(const std::string& name);
BOOL IsExcludedName(const std::string& name, const std::string& extensionList);

// Lists "folder" + "*.*" (folder ends with "\") the way every console walk
// sees it: no "." or "..", no name a Windows path cannot carry, nothing
// inside a mount point of another file system (unless it is a mapped drive's
// root), and, unless hideExcluded is false, no name the extension list
// hides. FALSE (GetLastError set) when the folder could not be listed.
BOOL ListFolder(const std::string& folder, const std::function<void(const WIN32_FIND_DATAA&)>& entry,
                bool hideExcluded = true);
