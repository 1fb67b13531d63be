#include "platform/fs/Attributes.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "platform/fs/internal/Resolve.h"
#include "platform/win/LastError.h"

DWORD GetFileAttributesA(LPCSTR fileName) {
    using namespace kv::platform::fsdetail;
    if (fileName == nullptr || *fileName == '\0') {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_FILE_ATTRIBUTES;
    }
    SplitPath split;
    DWORD error = ERROR_SUCCESS;
    if (!Split(fileName, split, error)) {
        SetLastError(error);
        return INVALID_FILE_ATTRIBUTES;
    }
    int fd = Open(split, O_PATH | O_NOFOLLOW, error);
    if (fd < 0 && split.onDrive && ::access(split.root.c_str(), F_OK) != 0) {
        // A mapped drive whose folder is gone is a drive that is not ready,
        // not a missing file: callers must not take its paths for deleted.
        SetLastError(ERROR_NOT_READY);
        return INVALID_FILE_ATTRIBUTES;
    }
    if (fd < 0) {
        // The folder exists but the name in it does not: as Windows says it.
        if (error == ERROR_PATH_NOT_FOUND && errno == ENOENT) error = ERROR_FILE_NOT_FOUND;
        SetLastError(error);
        return INVALID_FILE_ATTRIBUTES;
    }
    struct statx info {};
    bool ok = ::statx(fd, "", AT_EMPTY_PATH | AT_NO_AUTOMOUNT, STATX_BASIC_STATS | STATX_BTIME, &info) == 0;
    int saved = errno;
    ::close(fd);
    if (!ok) {
        SetLastError(ErrorFromErrno(saved));
        return INVALID_FILE_ATTRIBUTES;
    }
    size_t slash = split.relative.find_last_of('/');
    std::string name = split.relative.substr(slash == std::string::npos ? 0 : slash + 1);
    WIN32_FIND_DATAA data;
    // A drive root is the drive, never a mount point within one.
    FillFindData(info, name.c_str(), split.relative.empty(), nullptr, data);
    return data.dwFileAttributes;
}
