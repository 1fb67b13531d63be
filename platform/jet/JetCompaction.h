// Compaction of the integrity database file, standing in for the JetEngine
// object. The file is compacted in place by SQLite's VACUUM: SQLite builds the
// compacted copy and writes it back into the file under its own exclusive
// lock, within one transaction of the file's journal. So no commit of any
// other connection can be lost, whether it knows the system's own file lock
// or not (a sqlite3 shell, any ODBC client), and a compaction killed half-way
// leaves the file as it was. While another connection writes, the compaction
// waits for it a while and then gives up, leaving the file as it is.
//
// SQLite, unlike Jet, reuses the pages that deleted rows freed. A check
// frees about as many pages as the next one fills again (the rows of its
// capture), so rewriting the whole file after every check would cost a full
// copy of the database only for the file to grow back. The file is rewritten
// when at least half of it is free: it never stays above twice its data.
//
//   JetCompaction job;
//   if (FAILED(job.CompactDatabase(sourceConnect, destConnect, description))) ...
//   if (job.RemovedLeftover()) ...   // an old copy in destConnect's file was removed
#pragma once

#include <string>

#include "platform/win/WinTypes.h"

namespace kv::platform {

class JetCompaction {
public:
    JetCompaction() = default;
    JetCompaction(const JetCompaction&) = delete;
    JetCompaction& operator=(const JetCompaction&) = delete;

    // Compacts the database named by the source connection string
    // ("...;Data Source=<file>"). The file of the destination string is
    // where compactions of the copy-and-replace kind wrote their copy: one
    // left there by a compaction that was killed is removed, once no other
    // compaction of the folder can be running. S_OK, or E_FAIL with the
    // provider's description (the database missing, locked by a writer
    // beyond the wait, the disk full...); the file is then unchanged.
    HRESULT CompactDatabase(const std::string& sourceConnect, const std::string& destConnect,
                            std::string& description);
    // True when the last CompactDatabase removed a leftover copy.
    bool RemovedLeftover() const { return m_removedLeftover; }

private:
    bool m_removedLeftover = false;
};

}  // namespace kv::platform
