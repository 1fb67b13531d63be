#include "platform/jet/JetCompaction.h"

#include <sqlite3.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>

#include "platform/fs/PathMap.h"

namespace kv::platform {
namespace {

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

std::string SqlQuoted(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) {
        quoted += c;
        if (c == '\'') quoted += '\'';
    }
    return quoted + "'";
}

}  // namespace

JetCompaction::FileState JetCompaction::StateOf(const std::string& path) {
    FileState state;
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return state;
    state.valid = true;
    state.device = info.st_dev;
    state.inode = info.st_ino;
    state.size = static_cast<unsigned long long>(info.st_size);
    state.modifiedSeconds = info.st_mtim.tv_sec;
    state.modifiedNanoseconds = info.st_mtim.tv_nsec;
    return state;
}

// A write-ahead log or a hot journal beside the file means someone has it open
// (or left changes only SQLite's recovery knows about).
bool JetCompaction::HasJournal(const std::string& path) {
    return Exists(path + "-wal") || Exists(path + "-journal");
}

HRESULT JetCompaction::CompactDatabase(const std::string& sourceConnect, const std::string& destConnect,
                                       std::string& description) {
    description.clear();
    m_source = DataSourceOf(sourceConnect);
    m_destination = DataSourceOf(destConnect);
    m_sourceState = FileState();
    if (m_source.empty() || m_destination.empty()) {
        description = "The connection string names no data source.";
        return E_FAIL;
    }
    // The copy is never written over an existing file, whatever it holds:
    // it may be the only copy a failed earlier replacement left.
    if (Exists(m_destination)) {
        description = "Database '" + m_destination + "' already exists.";
        return E_FAIL;
    }
    DatabaseFileLock shared;
    if (shared.LockShared(m_source) != ERROR_SUCCESS) {
        description = "Could not find file '" + m_source + "'.";
        return E_FAIL;
    }
    sqlite3* db = nullptr;
    int rc = sqlite3_open_v2(m_source.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr);
    if (rc == SQLITE_OK) {
        sqlite3_busy_timeout(db, 10000);
        std::string vacuum = "VACUUM INTO " + SqlQuoted(m_destination);
        char* error = nullptr;
        rc = sqlite3_exec(db, vacuum.c_str(), nullptr, nullptr, &error);
        if (rc != SQLITE_OK) description = error != nullptr ? error : sqlite3_errstr(rc);
        sqlite3_free(error);
    } else {
        description = db != nullptr ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
    }
    // The last connection to close folds the write-ahead log back into the
    // file, so the state taken below is that of the whole database.
    sqlite3_close(db);
    if (rc != SQLITE_OK) return E_FAIL;
    m_sourceState = StateOf(m_source);
    return S_OK;
}

bool JetCompaction::DeleteSource() {
    if (!m_sourceState.valid) return false;
    if (m_lock.TryLockExclusive(m_source) != ERROR_SUCCESS) return false;
    // A connection that came and went between the copy and the lock may have
    // written rows the copy lacks; replacing the file would lose them.
    if (!(StateOf(m_source) == m_sourceState) || HasJournal(m_source)) {
        m_lock.Unlock();
        return false;
    }
    return true;
}

bool JetCompaction::RenameCompacted() {
    if (!m_lock.IsLocked()) return false;
    bool renamed = ::rename(m_destination.c_str(), m_source.c_str()) == 0;
    if (renamed) {
        // The shared-memory index of the old file must not be taken for the new one's.
        ::unlink((m_source + "-shm").c_str());
    }
    m_lock.Unlock();
    return renamed;
}

bool JetCompaction::RemoveCompacted() {
    if (m_destination.empty()) return false;
    return ::unlink(m_destination.c_str()) == 0 || !Exists(m_destination);
}

}  // namespace kv::platform
