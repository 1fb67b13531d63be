// Shared by the file-system stand-ins (not for code outside platform/fs):
// how a Windows-form path is opened, and how a file's status becomes its
// attribute word and find data.
//
// Below a drive root a path is resolved without following any symbolic link
// and without climbing above the root (".." at the root stays there, as on
// Windows): a walk cannot be led out of its drive, or round in a loop, by a
// folder that is swapped for a link while it runs. The drive root itself
// follows the drive map's link, and a POSIX absolute path is taken as the
// operator wrote it.
//
// Names are found as Windows finds them: a name that does not exist as
// written is looked up without regard to case in its folder, one folder at a
// time, so "C:\DATA\extexcluded.dat" opens ".../Data/ExtExcluded.dat" and a
// create of that name opens the existing file instead of making a second
// one. The exact name always wins; when only case-variants exist and there
// are several (a Linux folder may hold "Log" and "LOG"), the one that sorts
// first byte by byte is taken, so every caller picks the same entry. Letters
// A-Z fold; any other byte must match as written. A POSIX path (the Windows
// form of a folder that no drive holds) is looked up the same way, below
// "/". A path holding ".." is only ever taken as written. The look-up runs only after the exact name was
// missing, so finding a name that exists costs nothing extra.
#pragma once

#ifndef KV_PLATFORM_INTERNAL
#error "platform internals are not for use outside platform/"
#endif

#include <sys/stat.h>

#include <cstdint>
#include <string>

#include "platform/fs/Find.h"

namespace kv::platform::fsdetail {

struct SplitPath {
    bool onDrive = false;     // "X:..." rather than a POSIX path
    char letter = 0;          // upper case
    std::string root;         // the drive's folder (POSIX), or "/"
    std::string relative;     // below root, "/"-separated, no leading "/"; empty for the root
};

// Splits a Windows-form path (a relative one is taken from the current
// directory). False with a Windows error code when the drive is not mapped.
bool Split(const std::string& path, SplitPath& out, DWORD& error);

// Opens a split path with open(2) flags (O_CLOEXEC is added) and, for
// O_CREAT, the mode of a new file; -1 with a Windows error code on failure
// (errno keeps the reason). Paths longer than the kernel's limit open too.
// When a case-variant was opened and `found` is given, it receives that
// path, so that a caller opening the same path again looks it up once.
int Open(const SplitPath& path, int flags, DWORD& error, mode_t mode = 0, SplitPath* found = nullptr);

DWORD ErrorFromErrno(int error);

// The entry of an open folder that a missing name stands for: an existing
// case-variant of it (see above); false when the folder holds none.
bool FindCaseVariant(int folder, const std::string& name, std::string& actual);

// Rewrites the parts of a path that do not exist as written into
// the existing case-variants, as far as they go; true when any part changed.
bool ResolveCase(SplitPath& path);

// Opens the folder that holds the path's last part (O_PATH) and gives that
// part's name, as the folder holds it when only a case-variant exists; -1
// with a Windows error code when the folder cannot be opened or the path
// names a drive root.
int OpenParent(const SplitPath& path, std::string& leaf, DWORD& error);

// Owner and group of the entry an enumeration returned last, from the
// status the listing read; false when it could not read one.
bool FoundEntryOwner(HANDLE find, uint32_t& owner, uint32_t& group);

// statx of one entry, never following a link nor triggering an automount.
bool StatEntry(int folder, const char* name, struct statx& info);

// Fills find data from an entry's status. folderDevice is the device of the
// folder that holds the entry (0 when unknown); dotEntry is set for "." and
// "..", which are never hidden nor taken for mount points.
void FillFindData(const struct statx& info, const char* name, bool dotEntry,
                  const struct statx* folder, WIN32_FIND_DATAA& data);

}  // namespace kv::platform::fsdetail
