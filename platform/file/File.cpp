#include "platform/file/File.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/fs/internal/Resolve.h"
#include "platform/win/Handle.h"
#include "platform/win/LastError.h"
#include "platform/win/internal/ErrnoMap.h"

namespace {

// The read-ahead window the kernel opens on a file by default.
const off_t kReadAheadBytes = 128 * 1024;

struct KvFile : KvHandle {
    explicit KvFile(int descriptor) : fd(descriptor) {}
    ~KvFile() override { ::close(fd); }
    int fd;
};

// Opening by a name never follows a link or leaves the drive: either is a
// path that does not lead to the file, as Windows reports it.
DWORD ErrorFromErrno(int error) {
    switch (error) {
        case ELOOP:
        case EXDEV: return ERROR_PATH_NOT_FOUND;
        default: return kv::platform::WindowsErrorFromErrno(error);
    }
}

KvFile* FromHandle(HANDLE h) {
    if (h == nullptr || h == INVALID_HANDLE_VALUE) return nullptr;
    return dynamic_cast<KvFile*>(static_cast<KvHandle*>(h));
}

// Checks the object actually opened (the path may have been replaced since
// it was looked at) and applies the share mode.
bool PrepareReader(int fd, DWORD shareMode, off_t& size) {
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        SetLastError(ErrorFromErrno(errno));
        return false;
    }
    // O_NONBLOCK stays: reads of a regular file never wait on it anyway.
    if (!S_ISREG(info.st_mode)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return false;
    }
    size = info.st_size;
    // A reader that does not share write access cannot open a file that a
    // writer holds (a writer not sharing write keeps an exclusive lock). The
    // reader only probes and keeps no lock, so it never makes a writer fail;
    // a file system without flock support is read as if unlocked.
    if ((shareMode & FILE_SHARE_WRITE) == 0) {
        if (::flock(fd, LOCK_SH | LOCK_NB) != 0) {
            if (errno == EWOULDBLOCK) {
                SetLastError(ERROR_SHARING_VIOLATION);
                return false;
            }
        } else {
            ::flock(fd, LOCK_UN);
        }
    }
    return true;
}

// Opens the object that opener names. Its Open takes open(2) flags and a
// mode and returns a descriptor or -1 with errno set, never following a link
// in the last part of the name; its Status describes the object itself (a
// link, not its target), or is false with errno set.
template <typename Opener>
HANDLE OpenObject(const Opener& opener, DWORD desiredAccess, DWORD shareMode, DWORD creationDisposition,
                  DWORD flagsAndAttributes) {
    bool reading = (desiredAccess & GENERIC_READ) != 0;
    bool writing = (desiredAccess & GENERIC_WRITE) != 0;
    int flags = O_CLOEXEC | O_NOCTTY | O_NOFOLLOW;
    flags |= reading && writing ? O_RDWR : writing ? O_WRONLY : O_RDONLY;
    switch (creationDisposition) {
        case CREATE_NEW: flags |= O_CREAT | O_EXCL; break;
        case CREATE_ALWAYS: flags |= O_CREAT | O_TRUNC; break;
        case OPEN_EXISTING: break;
        case OPEN_ALWAYS: flags |= O_CREAT; break;
        case TRUNCATE_EXISTING: flags |= O_TRUNC; break;
        default: SetLastError(ERROR_INVALID_PARAMETER); return INVALID_HANDLE_VALUE;
    }
    if (!reading && !writing && creationDisposition == OPEN_EXISTING) {
        // Access to the object's attributes or security alone: the object
        // itself (a link, not its target) is named, and nothing is opened
        // for content, so a FIFO cannot block and a device is not touched.
        int fd = opener.Open(O_PATH | O_NOFOLLOW | O_CLOEXEC, 0);
        if (fd < 0) {
            SetLastError(ErrorFromErrno(errno));
            return INVALID_HANDLE_VALUE;
        }
        return static_cast<KvHandle*>(new KvFile(fd));
    }
    bool readOnly = reading && !writing;
    if (readOnly) {
        // A reader is for file content: folders, links, FIFOs, sockets and
        // devices are refused before anything opens them, since opening a
        // device can act on it (rewind a tape, arm a watchdog) and a FIFO
        // would wait for a writer.
        struct stat info {};
        if (!opener.Status(info)) {
            // A disposition that creates lets the open decide.
            if (errno != ENOENT || creationDisposition == OPEN_EXISTING ||
                creationDisposition == TRUNCATE_EXISTING) {
                SetLastError(ErrorFromErrno(errno));
                return INVALID_HANDLE_VALUE;
            }
        } else if (!S_ISREG(info.st_mode)) {
            SetLastError(ERROR_ACCESS_DENIED);
            return INVALID_HANDLE_VALUE;
        }
    }
    // O_NONBLOCK makes an open of a FIFO return at once (one that replaced
    // the file since the check above) instead of waiting for a writer. What
    // the system creates (its logs) is its owner's alone.
    int fd = opener.Open(readOnly ? flags | O_NONBLOCK : flags, 0600);
    if (fd < 0) {
        SetLastError(ErrorFromErrno(errno));
        return INVALID_HANDLE_VALUE;
    }
    off_t size = 0;
    if (readOnly && !PrepareReader(fd, shareMode, size)) {
        DWORD error = GetLastError();
        ::close(fd);
        SetLastError(error);
        return INVALID_HANDLE_VALUE;
    }
    // A file that the kernel's first read-ahead covers gains nothing from
    // the hint; among many small files it would be a system call per file.
    if ((flagsAndAttributes & FILE_FLAG_SEQUENTIAL_SCAN) != 0 && (!readOnly || size > kReadAheadBytes))
        ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    if (writing && (shareMode & FILE_SHARE_WRITE) == 0 && ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        SetLastError(ERROR_SHARING_VIOLATION);
        return INVALID_HANDLE_VALUE;
    }
    return static_cast<KvHandle*>(new KvFile(fd));
}

}  // namespace

HANDLE CreateFileA(LPCSTR fileName, DWORD desiredAccess, DWORD shareMode, void*,
                   DWORD creationDisposition, DWORD flagsAndAttributes, HANDLE) {
    if (fileName == nullptr || *fileName == '\0') {
        SetLastError(fileName == nullptr ? ERROR_INVALID_PARAMETER : ERROR_PATH_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    // The one resolver of the file-system stand-ins: what the walk lists is
    // what is opened here, never a link's target.
    kv::platform::fsdetail::SplitPath split;
    DWORD error = ERROR_SUCCESS;
    if (!kv::platform::fsdetail::Split(fileName, split, error)) {
        SetLastError(error);
        return INVALID_HANDLE_VALUE;
    }
    struct ByPath {
        // Becomes the case-variant once one was found, so the probe and the
        // open look the name up once between them.
        mutable kv::platform::fsdetail::SplitPath split;
        int Open(int flags, mode_t mode) const {
            DWORD ignored = ERROR_SUCCESS;
            return kv::platform::fsdetail::Open(split, flags, ignored, mode, &split);
        }
        bool Status(struct stat& info) const {
            int probe = Open(O_PATH | O_NOFOLLOW, 0);
            if (probe < 0) return false;
            bool done = ::fstat(probe, &info) == 0;
            int saved = errno;
            ::close(probe);
            errno = saved;
            return done;
        }
    } opener{split};
    return OpenObject(opener, desiredAccess, shareMode, creationDisposition, flagsAndAttributes);
}

namespace kv::platform {

HANDLE OpenFileAt(int folder, LPCSTR name, DWORD desiredAccess, DWORD shareMode, DWORD flagsAndAttributes) {
    if (folder < 0 || name == nullptr || *name == '\0' || std::strchr(name, '/') != nullptr ||
        std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    struct InFolder {
        int folder;
        LPCSTR name;
        int Open(int flags, mode_t mode) const { return ::openat(folder, name, flags, mode); }
        bool Status(struct stat& info) const {
            return ::fstatat(folder, name, &info, AT_SYMLINK_NOFOLLOW) == 0;
        }
    } opener{folder, name};
    return OpenObject(opener, desiredAccess, shareMode, OPEN_EXISTING, flagsAndAttributes);
}

}  // namespace kv::platform

BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD toRead, LPDWORD read, void*) {
    KvFile* f = FromHandle(file);
    if (f == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    ssize_t n;
    do n = ::read(f->fd, buffer, toRead);
    while (n < 0 && errno == EINTR);
    if (n < 0) {
        SetLastError(ErrorFromErrno(errno));
        if (read) *read = 0;
        return FALSE;
    }
    if (read) *read = static_cast<DWORD>(n);
    return TRUE;
}

BOOL WriteFile(HANDLE file, const void* buffer, DWORD toWrite, LPDWORD written, void*) {
    KvFile* f = FromHandle(file);
    if (f == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    const char* p = static_cast<const char*>(buffer);
    DWORD done = 0;
    while (done < toWrite) {
        ssize_t n = ::write(f->fd, p + done, toWrite - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            SetLastError(ErrorFromErrno(errno));
            if (written) *written = done;
            return FALSE;
        }
        done += static_cast<DWORD>(n);
    }
    if (written) *written = done;
    return TRUE;
}

DWORD SetFilePointer(HANDLE file, LONG distance, LONG* distanceHigh, DWORD method) {
    KvFile* f = FromHandle(file);
    if (f == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return INVALID_SET_FILE_POINTER;
    }
    int64_t offset = distanceHigh ? (static_cast<int64_t>(*distanceHigh) << 32) |
                                        static_cast<uint32_t>(distance)
                                  : distance;
    int whence = method == FILE_BEGIN ? SEEK_SET : method == FILE_CURRENT ? SEEK_CUR : SEEK_END;
    off_t result = ::lseek(f->fd, offset, whence);
    if (result < 0) {
        SetLastError(ErrorFromErrno(errno));
        return INVALID_SET_FILE_POINTER;
    }
    if (distanceHigh) *distanceHigh = static_cast<LONG>(result >> 32);
    return static_cast<DWORD>(result);
}

namespace kv::platform {

int FileDescriptor(HANDLE file) {
    KvFile* f = FromHandle(file);
    return f == nullptr ? -1 : f->fd;
}

}  // namespace kv::platform
