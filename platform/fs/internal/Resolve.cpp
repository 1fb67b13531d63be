#include "platform/fs/internal/Resolve.h"

#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <dirent.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <vector>

#include "platform/fs/Attributes.h"
#include "platform/fs/Drives.h"
#include "platform/fs/FileTime.h"
#include "platform/fs/PathMap.h"
#include "platform/win/internal/ErrnoMap.h"

namespace kv::platform::fsdetail {
namespace {

std::string CurrentDirectory() {
    char buffer[4096];
    DWORD n = GetCurrentDirectoryA(sizeof buffer, buffer);
    if (n == 0 || n >= sizeof buffer) return "C:\\";
    return std::string(buffer, n);
}

// A folder where another file system is mounted stands for another drive
// only when a drive letter maps to it and that drive is one a check walks.
bool IsWalkedDriveRoot(const struct statx& info) {
    for (char letter = 'A'; letter <= 'Z'; ++letter) {
        std::string target = DriveTarget(letter);
        if (target.empty()) continue;
        struct statx root {};
        if (::statx(AT_FDCWD, target.c_str(), AT_NO_AUTOMOUNT, STATX_INO, &root) != 0) continue;
        if (root.stx_ino != info.stx_ino || root.stx_dev_major != info.stx_dev_major ||
            root.stx_dev_minor != info.stx_dev_minor)
            continue;
        char drive[] = {letter, ':', '\\', '\0'};
        UINT type = GetDriveTypeA(drive);
        if (type == DRIVE_FIXED || type == DRIVE_UNKNOWN) return true;
    }
    return false;
}

DWORD AttributeByte(mode_t mode, const char* name, bool dotEntry) {
    DWORD attributes = 0;
    if ((mode & S_IWUSR) == 0) attributes |= FILE_ATTRIBUTE_READONLY;
    if (!dotEntry && name[0] == '.') attributes |= FILE_ATTRIBUTE_HIDDEN;
    if (S_ISDIR(mode)) attributes |= FILE_ATTRIBUTE_DIRECTORY;
    else if (!S_ISREG(mode)) attributes |= FILE_ATTRIBUTE_SYSTEM;
    if (mode & S_ISUID) attributes |= KV_ATTRIBUTE_SETUID;
    if (mode & S_ISGID) attributes |= KV_ATTRIBUTE_SETGID;
    if (mode & (S_IWGRP | S_IWOTH)) attributes |= KV_ATTRIBUTE_SHARED_WRITE;
    if (mode & (S_IXUSR | S_IXGRP | S_IXOTH)) attributes |= KV_ATTRIBUTE_EXECUTE;
    return attributes;
}

FILETIME Time(const struct statx_timestamp& stamp) {
    return FileTimeFromUnix(stamp.tv_sec, stamp.tv_nsec);
}

}  // namespace

bool Split(const std::string& path, SplitPath& out, DWORD& error) {
    std::string full = path;
    bool driveForm = full.size() >= 2 && full[1] == ':' && std::isalpha(static_cast<unsigned char>(full[0]));
    if (!driveForm && (full.empty() || (full[0] != '/' && full[0] != '\\'))) {
        std::string current = CurrentDirectory();
        full = current + (current.back() == '\\' ? "" : "\\") + full;
        driveForm = full.size() >= 2 && full[1] == ':';
    }
    out = SplitPath();
    std::string rest;
    if (driveForm) {
        out.onDrive = true;
        out.letter = static_cast<char>(std::toupper(static_cast<unsigned char>(full[0])));
        out.root = DriveTarget(out.letter);
        if (out.root.empty()) {
            error = ERROR_PATH_NOT_FOUND;
            return false;
        }
        rest = full.substr(2);
    } else {
        out.root.assign(1, '/');
        rest = full;
    }
    for (char& c : rest)
        if (c == '\\') c = '/';
    // Empty and "." parts name the same folder; they go, so that a drive
    // root reads as one however it is written.
    std::string relative;
    size_t at = 0;
    while (at <= rest.size()) {
        size_t end = rest.find('/', at);
        if (end == std::string::npos) end = rest.size();
        std::string part = rest.substr(at, end - at);
        if (!part.empty() && part != ".") {
            if (!relative.empty()) relative.push_back('/');
            relative.append(part);
        }
        at = end + 1;
    }
    out.relative = relative;
    return true;
}

namespace {

// openat2 below a folder, never through a link nor above where it starts.
int OpenBelow(int folder, const std::string& relative, int flags, uint64_t resolve, mode_t mode = 0) {
    struct open_how how {};
    how.flags = static_cast<uint64_t>(flags);
    if (flags & O_CREAT) how.mode = mode;
    how.resolve = resolve | RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS;
    int fd = static_cast<int>(::syscall(SYS_openat2, folder, relative.c_str(), &how, sizeof how));
    if (fd < 0 && errno == ENOSYS) fd = ::openat(folder, relative.c_str(), flags | O_NOFOLLOW, mode);
    return fd;
}

// A path longer than the kernel takes in one call (a deep tree) is opened
// a stretch of whole folders at a time, each stretch below the last.
constexpr size_t kLongestStretch = 3072;

}  // namespace

namespace {

int OpenExact(const SplitPath& path, int flags, DWORD& error, mode_t mode) {
    if (!path.onDrive || path.relative.empty()) {
        std::string whole = path.relative.empty() ? path.root
                            : path.root == "/" ? "/" + path.relative
                                               : path.root + "/" + path.relative;
        // The drive root follows the map; an operator's POSIX path is taken as written,
        // except that its last part is itself, never a link's target.
        int fd = ::open(whole.c_str(), path.relative.empty() ? flags : flags | O_NOFOLLOW, mode);
        if (fd < 0) error = ErrorFromErrno(errno);
        return fd;
    }
    int folder = ::open(path.root.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (folder < 0) {
        error = ErrorFromErrno(errno);
        return -1;
    }
    const std::string& relative = path.relative;
    size_t at = 0;
    uint64_t resolve = RESOLVE_IN_ROOT;
    while (relative.size() - at > kLongestStretch) {
        size_t cut = relative.rfind('/', at + kLongestStretch);
        if (cut == std::string::npos || cut <= at) break;
        int next = OpenBelow(folder, relative.substr(at, cut - at), O_PATH | O_DIRECTORY | O_CLOEXEC, resolve);
        int saved = errno;
        ::close(folder);
        if (next < 0) {
            error = ErrorFromErrno(saved);
            errno = saved;
            return -1;
        }
        folder = next;
        at = cut + 1;
        // A later stretch may not climb out of the one before it.
        resolve = RESOLVE_BENEATH;
    }
    int fd = OpenBelow(folder, at == 0 ? relative : relative.substr(at), flags, resolve, mode);
    int saved = errno;
    ::close(folder);
    if (fd < 0) error = ErrorFromErrno(saved);
    errno = saved;
    return fd;
}

bool MayResolveCase(const SplitPath& path) { return !path.relative.empty(); }

char FoldCase(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

bool SameButCase(const char* a, const std::string& b) {
    size_t i = 0;
    for (; a[i] != '\0' && i < b.size(); ++i)
        if (FoldCase(a[i]) != FoldCase(b[i])) return false;
    return a[i] == '\0' && i == b.size();
}

std::vector<std::string> Parts(const std::string& relative) {
    std::vector<std::string> parts;
    size_t at = 0;
    while (at <= relative.size()) {
        size_t end = relative.find('/', at);
        if (end == std::string::npos) end = relative.size();
        parts.push_back(relative.substr(at, end - at));
        at = end + 1;
    }
    return parts;
}

}  // namespace

int Open(const SplitPath& path, int flags, DWORD& error, mode_t mode, SplitPath* found) {
    flags |= O_CLOEXEC;
    if (!MayResolveCase(path)) return OpenExact(path, flags, error, mode);
    if (flags & O_CREAT) {
        // A create must find an existing case-variant before it makes a
        // second file beside it; the probe is what creating costs extra.
        DWORD ignored = ERROR_SUCCESS;
        int probe = OpenExact(path, O_PATH | O_CLOEXEC, ignored, 0);
        if (probe >= 0) {
            ::close(probe);
        } else if (errno == ENOENT) {
            SplitPath variant = path;
            if (ResolveCase(variant)) {
                int fd = OpenExact(variant, flags, error, mode);
                if (fd >= 0 && found != nullptr) *found = variant;
                return fd;
            }
        }
        return OpenExact(path, flags, error, mode);
    }
    int fd = OpenExact(path, flags, error, mode);
    if (fd >= 0 || errno != ENOENT) return fd;
    int saved = errno;
    SplitPath variant = path;
    if (!ResolveCase(variant)) {
        errno = saved;
        return fd;
    }
    fd = OpenExact(variant, flags, error, mode);
    if (fd >= 0 && found != nullptr) *found = variant;
    return fd;
}

bool FindCaseVariant(int folder, const std::string& name, std::string& actual) {
    if (name.empty() || name == "." || name == "..") return false;
    int listing = ::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (listing < 0) return false;
    DIR* dir = ::fdopendir(listing);
    if (dir == nullptr) {
        ::close(listing);
        return false;
    }
    bool found = false;
    while (struct dirent* entry = ::readdir(dir)) {
        if (!SameButCase(entry->d_name, name)) continue;
        if (!found || actual.compare(entry->d_name) > 0) actual = entry->d_name;
        found = true;
    }
    ::closedir(dir);
    return found;
}

bool ResolveCase(SplitPath& path) {
    if (!MayResolveCase(path)) return false;
    std::vector<std::string> parts = Parts(path.relative);
    for (const std::string& part : parts)
        if (part == "..") return false;
    int folder = ::open(path.root.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (folder < 0) return false;
    bool changed = false;
    for (size_t i = 0; i < parts.size(); ++i) {
        struct statx info {};
        if (!StatEntry(folder, parts[i].c_str(), info)) {
            std::string actual;
            if (errno != ENOENT || !FindCaseVariant(folder, parts[i], actual)) break;
            parts[i] = actual;
            changed = true;
        }
        if (i + 1 == parts.size()) break;
        int next = ::openat(folder, parts[i].c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (next < 0) break;
        ::close(folder);
        folder = next;
    }
    ::close(folder);
    if (!changed) return false;
    std::string relative;
    for (const std::string& part : parts) {
        if (!relative.empty()) relative.push_back('/');
        relative.append(part);
    }
    path.relative = relative;
    return true;
}

int OpenParent(const SplitPath& path, std::string& leaf, DWORD& error) {
    if (path.relative.empty()) {
        error = ERROR_ACCESS_DENIED;
        return -1;
    }
    size_t cut = path.relative.rfind('/');
    SplitPath folder = path;
    folder.relative = cut == std::string::npos ? std::string() : path.relative.substr(0, cut);
    leaf = cut == std::string::npos ? path.relative : path.relative.substr(cut + 1);
    if (leaf == "..") {
        error = ERROR_ACCESS_DENIED;
        return -1;
    }
    int fd = Open(folder, O_PATH | O_DIRECTORY, error);
    if (fd < 0) return -1;
    struct statx info {};
    std::string actual;
    if (!StatEntry(fd, leaf.c_str(), info) && errno == ENOENT && FindCaseVariant(fd, leaf, actual))
        leaf = actual;
    return fd;
}

DWORD ErrorFromErrno(int error) {
    switch (error) {
        // A resolved name that does not lead to the item: a part of the path
        // is missing, a link, or on another drive.
        case ENOENT:
        case ENOTDIR:
        case ELOOP:
        case EXDEV:
        case ENAMETOOLONG: return ERROR_PATH_NOT_FOUND;
        default: return kv::platform::WindowsErrorFromErrno(error);
    }
}

bool StatEntry(int folder, const char* name, struct statx& info) {
    return ::statx(folder, name, AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT,
                   STATX_BASIC_STATS | STATX_BTIME, &info) == 0;
}

void FillFindData(const struct statx& info, const char* name, bool dotEntry,
                  const struct statx* folder, WIN32_FIND_DATAA& data) {
    std::memset(&data, 0, sizeof data);
    mode_t mode = info.stx_mode;
    data.dwFileAttributes = AttributeByte(mode, name, dotEntry);
    if (S_ISLNK(mode)) {
        data.dwFileAttributes |= FILE_ATTRIBUTE_REPARSE_POINT;
        data.dwReserved0 = IO_REPARSE_TAG_SYMLINK;
    } else if (S_ISDIR(mode) && !dotEntry) {
        bool mountRoot;
        if (info.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT)
            mountRoot = (info.stx_attributes & STATX_ATTR_MOUNT_ROOT) != 0;
        else
            mountRoot = folder != nullptr && (folder->stx_dev_major != info.stx_dev_major ||
                                              folder->stx_dev_minor != info.stx_dev_minor);
        if (mountRoot && !IsWalkedDriveRoot(info)) {
            data.dwFileAttributes |= FILE_ATTRIBUTE_REPARSE_POINT;
            data.dwReserved0 = IO_REPARSE_TAG_MOUNT_POINT;
        }
    }
    data.ftLastWriteTime = Time(info.stx_mtime);
    data.ftLastAccessTime = Time(info.stx_atime);
    data.ftCreationTime = (info.stx_mask & STATX_BTIME) ? Time(info.stx_btime) : Time(info.stx_ctime);
    if (!S_ISDIR(mode)) {
        data.nFileSizeHigh = static_cast<DWORD>(info.stx_size >> 32);
        data.nFileSizeLow = static_cast<DWORD>(info.stx_size);
    }
    std::strncpy(data.cFileName, name, sizeof data.cFileName - 1);
}

}  // namespace kv::platform::fsdetail
