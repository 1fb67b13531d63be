// Compaction of the integrity database file, standing in for the JetEngine
// object: the compacted copy is written with SQLite's VACUUM INTO, and the
// old file is replaced by it only while nobody holds the old one.
//
//   JetCompaction job;
//   if (FAILED(job.CompactDatabase(sourceConnect, destConnect, description))) ...
//   if (!job.DeleteSource()) { job.RemoveCompacted(); ... }
//   if (!job.RenameCompacted()) ...
#pragma once

#include <string>

#include "platform/odbc/DatabaseFileLock.h"
#include "platform/win/WinTypes.h"

namespace kv::platform {

class JetCompaction {
public:
    JetCompaction() = default;
    ~JetCompaction() = default;
    JetCompaction(const JetCompaction&) = delete;
    JetCompaction& operator=(const JetCompaction&) = delete;

    // Writes the compacted copy of the database named by the source connection
    // string ("...;Data Source=<file>") into the file of the destination
    // string, holding the source shared meanwhile. S_OK, or E_FAIL with the
    // provider's description (for example when the destination exists).
    HRESULT CompactDatabase(const std::string& sourceConnect, const std::string& destConnect,
                            std::string& description);

    // The delete step of the replacement: succeeds only when no connection
    // holds the source and nothing was written to it since the copy was made;
    // the source then stays held exclusively until RenameCompacted. The old
    // file itself goes in RenameCompacted, which replaces it in one step, so
    // the database is never missing from its place.
    bool DeleteSource();
    // Puts the compacted copy in the source's place and lets the file go.
    // False leaves the source as it was (and the copy beside it).
    bool RenameCompacted();
    // Removes the compacted copy.
    bool RemoveCompacted();

private:
    struct FileState {
        bool valid = false;
        unsigned long long device = 0, inode = 0, size = 0;
        long long modifiedSeconds = 0, modifiedNanoseconds = 0;
        bool operator==(const FileState&) const = default;
    };
    static FileState StateOf(const std::string& path);
    static bool HasJournal(const std::string& path);

    std::string m_source;
    std::string m_destination;
    FileState m_sourceState;
    DatabaseFileLock m_lock;
};

}  // namespace kv::platform
