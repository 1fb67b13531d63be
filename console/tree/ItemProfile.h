// Writing a tree item's scan job into the link table and the link cache.
#pragma once

#include <mutex>

#include "console/data/ConsoleData.h"

class CFileNode;

// Writes the node's scan job (already stored in the node). thisOnly: the item
// alone, its children keep what they have; otherwise the folder and everything
// below it, taking rows of the old job or none along (anyProfile clear), or
// rows of any job (anyProfile set; only the restricted job's rows while a
// deleted scan job is swept).
void SetItemProfile(CConsoleData& data, CFileNode& node, bool thisOnly, bool anyProfile);

// The in-memory side of a change below a folder, depth first over the loaded
// descendants: with anyProfile clear only those of the old job or of none take
// the new one; with it set all do; while a deleted job is swept (removed >= 0)
// only those of the removed job do.
void UpdateLoadedDescendants(CFileNode& node, LONG oldProfile, LONG newProfile, bool anyProfile, LONG removed);

// Held by the setting-files worker while it writes, and by the UI thread
// while it reads the database or the cache for the tree: views of other tabs
// keep working while the wait dialog is up.
std::recursive_mutex& TreeDataMutex();

// The link cache's entry of a path (lower case), replaced or added.
void SetCachedLink(CConsoleData& data, const std::string& lowerPath, LONG id);
void RemoveCachedLink(CConsoleData& data, const std::string& lowerPath);
