#include "platform/jet/JetCompaction.h"

#include <errno.h>
#include <fcntl.h>
#include <sqlite3.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>

#include "platform/fs/PathMap.h"

namespace kv::platform {
namespace {

// How long the compaction waits for another connection's write to end.
const int kBusyMilliseconds = 10000;

// The file of "Provider=...;Data Source=<file>;..." as a POSIX path.
std::string DataSourceOf(const std::string& connect) {
    const std::string key = "data source=";
    std::string lower;
    for (char c : connect) lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    size_t pos = lower.find(key);
    if (pos == std::string::npos) return std::string();
    size_t start = pos + key.size();
    size_t end = connect.find(';', start);
    std::string file = connect.substr(start, end == std::string::npos ? std::string::npos : end - start);
    return ToPosixPath(file);
}

bool Exists(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0;
}

std::string FolderOf(const std::string& path) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Compactions of one folder exclude each other through a lock on the folder
// itself; the holder knows that no copy beside the database is being written.
class FolderLock {
public:
    ~FolderLock() {
        if (m_fd >= 0) ::close(m_fd);
    }
    bool TryLock(const std::string& folder) {
        m_fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (m_fd < 0) return false;
        int rc;
        do {
            rc = ::flock(m_fd, LOCK_EX | LOCK_NB);
        } while (rc != 0 && errno == EINTR);
        return rc == 0;
    }

private:
    int m_fd = -1;
};

// At least half of the file's pages hold nothing. A count that cannot be
// read counts as free, so the compaction runs and reports what it finds.
bool MostlyFree(sqlite3* db) {
    auto pragma = [db](const char* sql) -> sqlite3_int64 {
        sqlite3_stmt* statement = nullptr;
        sqlite3_int64 value = -1;
        if (sqlite3_prepare_v2(db, sql, -1, &statement, nullptr) == SQLITE_OK &&
            sqlite3_step(statement) == SQLITE_ROW)
            value = sqlite3_column_int64(statement, 0);
        sqlite3_finalize(statement);
        return value;
    };
    const sqlite3_int64 pages = pragma("PRAGMA page_count");
    const sqlite3_int64 free = pragma("PRAGMA freelist_count");
    return pages < 0 || free < 0 || 2 * free >= pages;
}

}  // namespace

HRESULT JetCompaction::CompactDatabase(const std::string& sourceConnect, const std::string& destConnect,
                                       std::string& description) {
    description.clear();
    m_removedLeftover = false;
    const std::string source = DataSourceOf(sourceConnect);
    const std::string leftover = DataSourceOf(destConnect);
    if (source.empty()) {
        description = "The connection string names no data source.";
        return E_FAIL;
    }
    FolderLock lock;
    if (!lock.TryLock(FolderOf(source))) {
        description = "Another compaction of '" + source + "' is running.";
        return E_FAIL;
    }
    sqlite3* db = nullptr;
    int rc = sqlite3_open_v2(source.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr);
    if (rc != SQLITE_OK) {
        description = db != nullptr ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
        if (!Exists(source)) description = "Could not find file '" + source + "'.";
        sqlite3_close(db);
        return E_FAIL;
    }
    // With the database in place and the folder held, a copy beside it can
    // only be what a killed compaction left; kept, it would stand in the way
    // of every later one that writes there.
    if (!leftover.empty() && leftover != source && Exists(leftover)) {
        for (const char* suffix : {"-wal", "-shm", "-journal"}) ::unlink((leftover + suffix).c_str());
        m_removedLeftover = ::unlink(leftover.c_str()) == 0;
    }
    sqlite3_busy_timeout(db, kBusyMilliseconds);
    char* error = nullptr;
    rc = MostlyFree(db) ? sqlite3_exec(db, "VACUUM", nullptr, nullptr, &error) : SQLITE_OK;
    if (rc != SQLITE_OK) description = error != nullptr ? error : sqlite3_errstr(rc);
    sqlite3_free(error);
    if (rc == SQLITE_OK) {
        // The compacted pages (or the last commits of the check) sit in the
        // write-ahead log until a checkpoint; one now gives the file its
        // size (a reader may hold it back, which costs nothing but the size).
        sqlite3_exec(db, "PRAGMA wal_checkpoint(TRUNCATE)", nullptr, nullptr, nullptr);
    }
    sqlite3_close(db);
    return rc == SQLITE_OK ? S_OK : E_FAIL;
}

}  // namespace kv::platform
