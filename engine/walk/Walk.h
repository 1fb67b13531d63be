// The walk of a check: the drives to walk, then each drive depth-first, one
// folder level at a time, storing every item the scope rules keep.
#pragma once

#include <string>

#include "engine/walk/ScanItem.h"
#include "platform/win/WinTypes.h"

// Walk results.
#define WALK_DONE 0
#define WALK_NOT_ENUMERATED 1
#define WALK_STOPPED 15

// Fills the drive list with the fixed (or undetermined) drives the scope
// reaches; stores the drives of the current job.
HRESULT ReadDrives(ItemList& drives);

// Walks the folder level of item on list, recursing into sub-folders. With
// no item, fills list with the drives instead.
HRESULT ReadFromSystem(ItemList& list, ScanItem* item);

// Appends DOMAIN\account of the owner of path to owner: S_OK (also when the
// owner cannot be read), S_FALSE when the owner has no account name here,
// E_FAIL when the look-up fails.
HRESULT GetOwner(const std::string& path, std::string& owner, bool isFolder);
// The same for a file or folder already open (READ_CONTROL); path names it
// in the log.
HRESULT GetOwnerOfFile(HANDLE file, const std::string& path, std::string& owner);
// The same for the entry a folder enumeration returned last, from the status
// the enumeration read: false (nothing done) when it has none.
bool GetOwnerOfFoundEntry(HANDLE find, std::string& owner, HRESULT& result);
