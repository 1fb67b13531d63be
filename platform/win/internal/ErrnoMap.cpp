#include "platform/win/internal/ErrnoMap.h"

#include <cerrno>

namespace kv::platform {

DWORD WindowsErrorFromErrno(int error, DWORD otherwise) {
    switch (error) {
        case 0: return ERROR_SUCCESS;
        case ENOENT: return ERROR_FILE_NOT_FOUND;
        case ENOTDIR:
        case ELOOP: return ERROR_PATH_NOT_FOUND;
        case EACCES:
        case EPERM:
        case EROFS:
        case EISDIR: return ERROR_ACCESS_DENIED;
        case EBADF: return ERROR_INVALID_HANDLE;
        case ENOMEM: return ERROR_NOT_ENOUGH_MEMORY;
        case EMFILE:
        case ENFILE: return ERROR_TOO_MANY_OPEN_FILES;
        case EEXIST: return ERROR_FILE_EXISTS;
        case ENAMETOOLONG: return ERROR_INVALID_NAME;
        case EINVAL: return ERROR_INVALID_PARAMETER;
        case ENOSPC:
        case EDQUOT: return ERROR_DISK_FULL;
        case EXDEV: return ERROR_NOT_SAME_DEVICE;
        case ENOTEMPTY: return ERROR_DIR_NOT_EMPTY;
        case EBUSY: return ERROR_BUSY;
        case ENOEXEC: return ERROR_BAD_EXE_FORMAT;
        // Every would-block failure here comes from a lock another holder has.
        case EWOULDBLOCK: return ERROR_SHARING_VIOLATION;
        default: return otherwise;
    }
}

}  // namespace kv::platform
