#include "platform/odbc/DatabaseFileLock.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <mutex>
#include <utility>
#include <vector>

#include "platform/win/internal/ErrnoMap.h"

namespace kv::platform {
namespace {

int OpenForLock(const std::string& path) {
    return ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
}

int Flock(int fd, int operation) {
    int rc;
    do {
        rc = ::flock(fd, operation);
    } while (rc != 0 && errno == EINTR);
    return rc;
}

// True when fd is still the file at path (it may have been replaced while
// the lock was awaited).
bool StillAtPath(int fd, const std::string& path) {
    struct stat held {}, current {};
    if (::fstat(fd, &held) != 0 || ::stat(path.c_str(), &current) != 0) return false;
    return held.st_dev == current.st_dev && held.st_ino == current.st_ino;
}

// A descriptor of a database file is not closed while the file is in use.
// Closing any descriptor of a file drops every POSIX lock the process holds
// on it, and SQLite holds one on the database for as long as a connection
// of the process has it open in WAL mode. Without that lock another
// program's last close takes the file for its own, folds the write-ahead log
// in and deletes it under this process's connections, whose later commits
// then go to a log nobody reads. A descriptor let go is kept, unlocked, for
// the next lock of the same file; closed only once its file has left its
// path (replaced or deleted), when no connection can be on it any more.
class SpareDescriptors {
public:
    // A kept descriptor of the file at path now, or -1.
    int Take(const std::string& path) {
        std::lock_guard<std::mutex> lock(m_mutex);
        for (size_t i = 0; i < m_spares.size(); ++i) {
            if (m_spares[i].second == path && StillAtPath(m_spares[i].first, path)) {
                int fd = m_spares[i].first;
                m_spares.erase(m_spares.begin() + static_cast<std::ptrdiff_t>(i));
                return fd;
            }
        }
        return -1;
    }
    void Keep(int fd, const std::string& path) {
        std::lock_guard<std::mutex> lock(m_mutex);
        std::vector<std::pair<int, std::string>> kept;
        for (auto& spare : m_spares) {
            if (StillAtPath(spare.first, spare.second)) kept.push_back(std::move(spare));
            else ::close(spare.first);
        }
        kept.emplace_back(fd, path);
        m_spares = std::move(kept);
    }

private:
    std::mutex m_mutex;
    std::vector<std::pair<int, std::string>> m_spares;
};

// Never destroyed: connections may close while the process exits.
SpareDescriptors& Spares() {
    static SpareDescriptors* spares = new SpareDescriptors;
    return *spares;
}

// Opens the file at path, or takes a kept descriptor of it.
int OpenOrTake(const std::string& path) {
    int fd = Spares().Take(path);
    return fd >= 0 ? fd : OpenForLock(path);
}

// Lets go of a descriptor without closing it (see SpareDescriptors).
void Release(int fd, const std::string& path) {
    Flock(fd, LOCK_UN);
    Spares().Keep(fd, path);
}

}  // namespace

DWORD DatabaseFileLock::LockShared(const std::string& posixPath) {
    Unlock();
    for (int attempt = 0; attempt < 100; ++attempt) {
        int fd = OpenOrTake(posixPath);
        if (fd < 0) return WindowsErrorFromErrno(errno);
        if (Flock(fd, LOCK_SH) != 0) {
            int error = errno;
            Release(fd, posixPath);
            return WindowsErrorFromErrno(error);
        }
        if (StillAtPath(fd, posixPath)) {
            m_fd = fd;
            m_path = posixPath;
            return ERROR_SUCCESS;
        }
        // Replaced while the lock was awaited: nobody is on that file.
        ::close(fd);
    }
    return ERROR_SHARING_VIOLATION;
}

DWORD DatabaseFileLock::TryLockExclusive(const std::string& posixPath) {
    Unlock();
    int fd = OpenOrTake(posixPath);
    if (fd < 0) return WindowsErrorFromErrno(errno);
    if (Flock(fd, LOCK_EX | LOCK_NB) != 0) {
        int error = errno;
        Release(fd, posixPath);
        return WindowsErrorFromErrno(error);
    }
    if (!StillAtPath(fd, posixPath)) {
        ::close(fd);
        return ERROR_SHARING_VIOLATION;
    }
    m_fd = fd;
    m_path = posixPath;
    return ERROR_SUCCESS;
}

void DatabaseFileLock::Unlock() {
    if (m_fd < 0) return;
    Release(m_fd, m_path);
    m_fd = -1;
}

}  // namespace kv::platform
