#include "platform/fs/Find.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <string>

#include "platform/fs/Attributes.h"
#include "platform/fs/Resolve.h"
#include "platform/win/Handle.h"
#include "platform/win/LastError.h"

namespace {

using namespace kv::platform::fsdetail;

bool HasWildcard(const std::string& pattern) {
    return pattern.find_first_of("*?") != std::string::npos;
}

bool Matches(const char* pattern, const char* name) {
    // Iterative "*" matching with one back-tracking point.
    const char* star = nullptr;
    const char* resume = nullptr;
    while (*name != '\0') {
        if (*pattern == '*') {
            star = pattern++;
            resume = name;
        } else if (*pattern == '?' ||
                   std::toupper(static_cast<unsigned char>(*pattern)) ==
                       std::toupper(static_cast<unsigned char>(*name))) {
            ++pattern;
            ++name;
        } else if (star != nullptr) {
            pattern = star + 1;
            name = ++resume;
        } else {
            return false;
        }
    }
    while (*pattern == '*') ++pattern;
    return *pattern == '\0';
}

struct KvFind : KvHandle {
    ~KvFind() override {
        if (dir != nullptr) ::closedir(dir);
    }
    DIR* dir = nullptr;
    std::string pattern;
    bool matchAll = false;
    int dotsLeft = 0;          // "." and ".." still to report
    struct statx folder {};
    bool haveFolder = false;

    bool Wanted(const char* name) const { return matchAll || Matches(pattern.c_str(), name); }

    // The next matching entry, or false with the reason in the last error.
    bool Next(WIN32_FIND_DATAA& data) {
        while (dotsLeft > 0) {
            const char* name = dotsLeft == 2 ? "." : "..";
            --dotsLeft;
            if (!Wanted(name)) continue;
            struct statx info {};
            if (!StatEntry(::dirfd(dir), name, info)) continue;
            FillFindData(info, name, true, nullptr, data);
            return true;
        }
        for (;;) {
            errno = 0;
            struct dirent* entry = ::readdir(dir);
            if (entry == nullptr) {
                SetLastError(errno == 0 ? ERROR_NO_MORE_FILES : ErrorFromErrno(errno));
                return false;
            }
            const char* name = entry->d_name;
            if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0 || !Wanted(name))
                continue;
            struct statx info {};
            if (StatEntry(::dirfd(dir), name, info)) {
                FillFindData(info, name, false, haveFolder ? &folder : nullptr, data);
                return true;
            }
            if (errno == ENOENT) continue;  // gone since the folder was read
            std::memset(&data, 0, sizeof data);
            if (entry->d_type == DT_DIR) data.dwFileAttributes = FILE_ATTRIBUTE_DIRECTORY;
            else if (entry->d_type != DT_REG && entry->d_type != DT_UNKNOWN)
                data.dwFileAttributes = FILE_ATTRIBUTE_SYSTEM;
            if (entry->d_type == DT_LNK) {
                data.dwFileAttributes |= FILE_ATTRIBUTE_REPARSE_POINT;
                data.dwReserved0 = IO_REPARSE_TAG_SYMLINK;
            }
            if (name[0] == '.') data.dwFileAttributes |= FILE_ATTRIBUTE_HIDDEN;
            std::strncpy(data.cFileName, name, sizeof data.cFileName - 1);
            return true;
        }
    }
};

KvFind* FromHandle(HANDLE handle) {
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return nullptr;
    return dynamic_cast<KvFind*>(static_cast<KvHandle*>(handle));
}

// A pattern without wildcards names one entry: it is described alone.
HANDLE FindOne(const SplitPath& folder, const std::string& name, WIN32_FIND_DATAA* data) {
    DWORD error = ERROR_SUCCESS;
    int fd = Open(folder, O_PATH | O_DIRECTORY, error);
    if (fd < 0) {
        SetLastError(error);
        return INVALID_HANDLE_VALUE;
    }
    struct statx info {}, parent {};
    bool haveParent = ::statx(fd, "", AT_EMPTY_PATH, STATX_BASIC_STATS, &parent) == 0;
    bool found = name != "." && name != ".." && StatEntry(fd, name.c_str(), info);
    int saved = errno;
    ::close(fd);
    if (!found) {
        SetLastError(saved == ENOENT || name == "." || name == ".." ? ERROR_FILE_NOT_FOUND
                                                                    : ErrorFromErrno(saved));
        return INVALID_HANDLE_VALUE;
    }
    FillFindData(info, name.c_str(), false, haveParent ? &parent : nullptr, *data);
    return static_cast<KvHandle*>(new KvFind());
}

}  // namespace

HANDLE FindFirstFileA(LPCSTR fileName, WIN32_FIND_DATAA* findData) {
    if (fileName == nullptr || findData == nullptr || *fileName == '\0') {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    std::string path(fileName);
    size_t cut = path.find_last_of("\\/");
    std::string folderPart, pattern;
    if (cut == std::string::npos) {
        // "X:pattern" or a bare pattern: in the current folder of that drive.
        bool drive = path.size() >= 2 && path[1] == ':';
        folderPart = drive ? path.substr(0, 2) : std::string();
        pattern = drive ? path.substr(2) : path;
    } else {
        folderPart = path.substr(0, cut + 1);
        pattern = path.substr(cut + 1);
    }
    if (pattern.empty()) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    SplitPath folder;
    DWORD error = ERROR_SUCCESS;
    if (!Split(folderPart.empty() ? std::string(".") : folderPart, folder, error)) {
        SetLastError(error);
        return INVALID_HANDLE_VALUE;
    }
    if (!HasWildcard(pattern)) return FindOne(folder, pattern, findData);

    int fd = Open(folder, O_RDONLY | O_DIRECTORY, error);
    if (fd < 0) {
        SetLastError(error);
        return INVALID_HANDLE_VALUE;
    }
    KvFind* find = new KvFind();
    find->dir = ::fdopendir(fd);
    if (find->dir == nullptr) {
        SetLastError(ErrorFromErrno(errno));
        ::close(fd);
        delete find;
        return INVALID_HANDLE_VALUE;
    }
    find->pattern = pattern;
    find->matchAll = pattern == "*" || pattern == "*.*";
    bool driveRoot = folder.relative.empty();
    find->dotsLeft = driveRoot ? 0 : 2;
    find->haveFolder = ::statx(fd, "", AT_EMPTY_PATH, STATX_BASIC_STATS, &find->folder) == 0;
    if (!find->Next(*findData)) {
        DWORD reason = GetLastError();
        delete find;
        SetLastError(reason == ERROR_NO_MORE_FILES ? ERROR_FILE_NOT_FOUND : reason);
        return INVALID_HANDLE_VALUE;
    }
    return static_cast<KvHandle*>(find);
}

BOOL FindNextFileA(HANDLE findFile, WIN32_FIND_DATAA* findData) {
    KvFind* find = FromHandle(findFile);
    if (find == nullptr || findData == nullptr) {
        SetLastError(find == nullptr ? ERROR_INVALID_HANDLE : ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (find->dir == nullptr) {
        SetLastError(ERROR_NO_MORE_FILES);
        return FALSE;
    }
    return find->Next(*findData) ? TRUE : FALSE;
}

BOOL FindClose(HANDLE findFile) {
    KvFind* find = FromHandle(findFile);
    if (find == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    delete find;
    return TRUE;
}

namespace kv::platform {

bool IsRepresentableName(LPCSTR name) {
    return name != nullptr && *name != '\0' && std::strchr(name, '\\') == nullptr;
}

bool IsWalkableFolder(const WIN32_FIND_DATAA& data) {
    return (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
           (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
}

bool HasFileContent(const WIN32_FIND_DATAA& data) {
    return (data.dwFileAttributes &
            (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_REPARSE_POINT)) == 0;
}

}  // namespace kv::platform
