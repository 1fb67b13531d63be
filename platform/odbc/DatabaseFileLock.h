// The lock every connection of the system holds on its database file. On
// Windows a file another process has open cannot be deleted; POSIX lets it go
// and the holder's later writes would land in a file nobody can reach. So a
// connection holds the file shared while it is open, and whoever replaces the
// file must first hold it exclusively, which fails while anyone is connected.
#pragma once

#include <string>

#include "platform/win/WinTypes.h"

namespace kv::platform {

class DatabaseFileLock {
public:
    DatabaseFileLock() = default;
    ~DatabaseFileLock() { Unlock(); }
    DatabaseFileLock(const DatabaseFileLock&) = delete;
    DatabaseFileLock& operator=(const DatabaseFileLock&) = delete;

    // Holds the file at path shared; waits while it is held exclusively (a
    // replacement takes milliseconds) and always ends holding the file that is
    // at path now. ERROR_SUCCESS, or the Windows error code when the file
    // cannot be opened (ERROR_FILE_NOT_FOUND, ERROR_ACCESS_DENIED...).
    DWORD LockShared(const std::string& posixPath);
    // Holds the file exclusively, without waiting: ERROR_SHARING_VIOLATION
    // while anyone else holds it.
    DWORD TryLockExclusive(const std::string& posixPath);
    // Lets the file go. The descriptor stays open, unlocked, for the next
    // lock of the file: closing it would also drop the locks the database
    // engine holds on the file for the process's other connections.
    void Unlock();
    bool IsLocked() const { return m_fd >= 0; }

private:
    int m_fd = -1;
    std::string m_path;
};

}  // namespace kv::platform
