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
#pragma once

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
int Open(const SplitPath& path, int flags, DWORD& error, mode_t mode = 0);

DWORD ErrorFromErrno(int error);

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
