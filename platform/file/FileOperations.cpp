#include "platform/file/FileOperations.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/file/File.h"
#include "platform/fs/PathMap.h"
#include "platform/fs/internal/Resolve.h"
#include "platform/posix/internal/FileWrite.h"
#include "platform/win/LastError.h"
#include "platform/win/internal/ErrnoMap.h"

namespace {

using kv::platform::fsdetail::SplitPath;

// The folder holding a path's last part, and that part as the folder
// holds it.
struct Entry {
    int folder = -1;
    std::string name;
    ~Entry() {
        if (folder >= 0) ::close(folder);
    }
};

bool Locate(LPCSTR path, Entry& entry) {
    if (path == nullptr || *path == '\0') {
        SetLastError(path == nullptr ? ERROR_INVALID_PARAMETER : ERROR_PATH_NOT_FOUND);
        return false;
    }
    SplitPath split;
    DWORD error = ERROR_SUCCESS;
    if (!kv::platform::fsdetail::Split(path, split, error)) {
        SetLastError(error);
        return false;
    }
    entry.folder = kv::platform::fsdetail::OpenParent(split, entry.name, error);
    if (entry.folder < 0) {
        SetLastError(error);
        return false;
    }
    return true;
}

bool Fail(int error) {
    SetLastError(kv::platform::WindowsErrorFromErrno(error));
    return false;
}

bool ReadWhole(LPCSTR path, std::string& content) {
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                              nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    char buffer[65536];
    DWORD read = 0;
    bool ok;
    while ((ok = ReadFile(file, buffer, sizeof buffer, &read, nullptr) != FALSE) && read > 0) content.append(buffer, read);
    DWORD error = GetLastError();
    CloseHandle(file);
    if (!ok) SetLastError(error);
    return ok;
}

// Writes the content as the entry, whole, by a file written beside it and
// renamed over it.
bool ReplaceEntry(const Entry& destination, const std::string& content, bool failIfExists) {
    struct stat info {};
    bool exists = ::fstatat(destination.folder, destination.name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0;
    if (exists && failIfExists) {
        SetLastError(ERROR_FILE_EXISTS);
        return false;
    }
    if (exists && S_ISDIR(info.st_mode)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return false;
    }
    std::string folder = "/proc/self/fd/" + std::to_string(destination.folder);
    // The folder is held as O_PATH; the writer needs a real path to it.
    char target[4096];
    ssize_t n = ::readlink(folder.c_str(), target, sizeof target - 1);
    if (n <= 0) return Fail(errno);
    target[n] = '\0';
    std::string path = std::string(target) + (n == 1 ? "" : "/") + destination.name;
    if (!kv::platform::posix::ReplaceFile(path, content, 0600)) return Fail(errno);
    return true;
}

}  // namespace

BOOL DeleteFileA(LPCSTR fileName) {
    Entry entry;
    if (!Locate(fileName, entry)) return FALSE;
    struct stat info {};
    if (::fstatat(entry.folder, entry.name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) return Fail(errno);
    if (S_ISDIR(info.st_mode)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    if (::unlinkat(entry.folder, entry.name.c_str(), 0) != 0) return Fail(errno);
    return TRUE;
}

BOOL MoveFileExA(LPCSTR existingFileName, LPCSTR newFileName, DWORD flags) {
    Entry source, destination;
    if (!Locate(existingFileName, source) || !Locate(newFileName, destination)) return FALSE;
    bool replace = (flags & MOVEFILE_REPLACE_EXISTING) != 0;
    int result = replace ? ::renameat(source.folder, source.name.c_str(), destination.folder, destination.name.c_str())
                         : ::renameat2(source.folder, source.name.c_str(), destination.folder,
                                       destination.name.c_str(), RENAME_NOREPLACE);
    if (result == 0) {
        if (flags & MOVEFILE_WRITE_THROUGH) {
            int sync = ::openat(destination.folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            if (sync >= 0) {
                ::fsync(sync);
                ::close(sync);
            }
        }
        return TRUE;
    }
    if (errno == EEXIST) {
        SetLastError(ERROR_ALREADY_EXISTS);
        return FALSE;
    }
    if (errno != EXDEV) return Fail(errno);
    if ((flags & MOVEFILE_COPY_ALLOWED) == 0) {
        SetLastError(ERROR_NOT_SAME_DEVICE);
        return FALSE;
    }
    struct stat info {};
    if (::fstatat(source.folder, source.name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) return Fail(errno);
    if (!S_ISREG(info.st_mode)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    std::string content;
    if (!ReadWhole(existingFileName, content)) return FALSE;
    if (!ReplaceEntry(destination, content, !replace)) {
        if (!replace && GetLastError() == ERROR_FILE_EXISTS) SetLastError(ERROR_ALREADY_EXISTS);
        return FALSE;
    }
    // The copy is in place; a source that cannot go is left, never the
    // destination undone.
    if (::unlinkat(source.folder, source.name.c_str(), 0) != 0) return Fail(errno);
    return TRUE;
}

BOOL CopyFileA(LPCSTR existingFileName, LPCSTR newFileName, BOOL failIfExists) {
    Entry destination;
    if (existingFileName == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::string content;
    if (!ReadWhole(existingFileName, content)) return FALSE;
    if (!Locate(newFileName, destination)) return FALSE;
    return ReplaceEntry(destination, content, failIfExists != FALSE) ? TRUE : FALSE;
}

DWORD GetTempPathA(DWORD bufferLength, LPSTR buffer) {
    std::string folder;
    for (const char* name : {"TMP", "TEMP", "TMPDIR"}) {
        const char* value = std::getenv(name);
        if (value != nullptr && *value != '\0') {
            folder = value;
            break;
        }
    }
    if (folder.empty()) folder = "/tmp";
    if (folder[0] == '/') folder = kv::platform::ToWindowsPath(folder);
    if (folder.back() != '\\') folder.push_back('\\');
    if (buffer == nullptr || bufferLength <= folder.size()) return static_cast<DWORD>(folder.size() + 1);
    std::memcpy(buffer, folder.c_str(), folder.size() + 1);
    return static_cast<DWORD>(folder.size());
}

UINT GetTempFileNameA(LPCSTR pathName, LPCSTR prefixString, UINT unique, LPSTR tempFileName) {
    if (pathName == nullptr || tempFileName == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::string stem = pathName;
    if (stem.empty() || (stem.back() != '\\' && stem.back() != '/')) stem.push_back('\\');
    if (prefixString != nullptr) stem.append(prefixString, ::strnlen(prefixString, 3));
    auto nameOf = [&](UINT number) {
        char digits[8];
        std::snprintf(digits, sizeof digits, "%X", number & 0xFFFFu);
        return stem + digits + ".TMP";
    };
    if (unique != 0) {
        std::string name = nameOf(unique);
        if (name.size() >= MAX_PATH) {
            SetLastError(ERROR_BUFFER_OVERFLOW);
            return 0;
        }
        std::memcpy(tempFileName, name.c_str(), name.size() + 1);
        return unique & 0xFFFFu;
    }
    static std::atomic<UINT> counter{0};
    UINT start = (static_cast<UINT>(::getpid()) * 2654435761u + counter.fetch_add(7919)) & 0xFFFFu;
    for (UINT step = 0; step < 0xFFFFu; ++step) {
        UINT number = ((start + step) % 0xFFFFu) + 1;
        std::string name = nameOf(number);
        if (name.size() >= MAX_PATH) {
            SetLastError(ERROR_BUFFER_OVERFLOW);
            return 0;
        }
        HANDLE file = CreateFileA(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            CloseHandle(file);
            std::memcpy(tempFileName, name.c_str(), name.size() + 1);
            return number;
        }
        if (GetLastError() != ERROR_FILE_EXISTS) return 0;
    }
    SetLastError(ERROR_FILE_EXISTS);
    return 0;
}
