// Whether the walk stores an item, walks through it or skips it, and whether
// the alert leaves a reported item out.
#pragma once

#include <string>

#include "engine/scope/ScopeLists.h"
#include "engine/walk/ScanItem.h"

// Classification codes.
#define SCOPE_IN_JOB 10        // store; walk into a drive or folder
#define SCOPE_OUTSIDE 12       // skip, with everything below
#define SCOPE_LEADS_TO_JOB 13  // walk into without storing
#define SCOPE_EXCLUDED 15      // skip

// mode: 1 the parent was stored, 0 the parent is only walked through, -1 no
// parent in the walk (a drive, or a parent path being classified).
int ClassifyItem(const ScanItem& item, int mode);
// The same verdict without log lines or pauses, for work started on an item
// before the walk reaches (and classifies) it.
int ClassifyItemQuietly(const ScanItem& item, int mode);

// anywhere false, direction 2: the path equals an entry;
// anywhere true, direction 1: the path occurs inside an entry;
// anywhere true, direction 2: either occurs inside the other.
bool MatchPathList(const TextList& list, const std::string& path, bool anywhere, int direction);

// 1 when the item is left out of the alert, 0 when it is reported. mode 1
// for added items, 0 for removed ones; suppressed collects folders of the
// current job that were just added to the scope.
int IsHiddenFromReport(const ScanItem& item, TextList& suppressed, int mode);

// The upper-case text after the last "." of the whole path; empty without one.
std::string ExtensionOf(const std::string& path);
