#include "platform/odbc/DatabaseFileLock.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

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

}  // namespace

DWORD DatabaseFileLock::LockShared(const std::string& posixPath) {
    Unlock();
    for (int attempt = 0; attempt < 100; ++attempt) {
        int fd = OpenForLock(posixPath);
        if (fd < 0) return WindowsErrorFromErrno(errno);
        if (Flock(fd, LOCK_SH) != 0) {
            int error = errno;
            ::close(fd);
            return WindowsErrorFromErrno(error);
        }
        if (StillAtPath(fd, posixPath)) {
            m_fd = fd;
            return ERROR_SUCCESS;
        }
        ::close(fd);
    }
    return ERROR_SHARING_VIOLATION;
}

DWORD DatabaseFileLock::TryLockExclusive(const std::string& posixPath) {
    Unlock();
    int fd = OpenForLock(posixPath);
    if (fd < 0) return WindowsErrorFromErrno(errno);
    if (Flock(fd, LOCK_EX | LOCK_NB) != 0) {
        int error = errno;
        ::close(fd);
        return WindowsErrorFromErrno(error);
    }
    if (!StillAtPath(fd, posixPath)) {
        ::close(fd);
        return ERROR_SHARING_VIOLATION;
    }
    m_fd = fd;
    return ERROR_SUCCESS;
}

void DatabaseFileLock::Unlock() {
    if (m_fd < 0) return;
    ::close(m_fd);  // releases the lock
    m_fd = -1;
}

}  // namespace kv::platform
