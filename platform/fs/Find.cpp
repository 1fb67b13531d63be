#include "platform/fs/Find.h"

#include <dirent.h>
#include <sys/sysmacros.h>
#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "platform/file/File.h"
#include "platform/fs/Attributes.h"
#include "platform/fs/internal/Resolve.h"
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

// One listed entry, kept compact: a folder of a million entries costs some
// tens of bytes each, and a deep tree costs no buffer per level.
struct ListedEntry {
    uint32_t nameAt;  // offset of the name in the listing's name text
    DWORD attributes;
    DWORD reparseTag;
    DWORD sizeHigh;
    DWORD sizeLow;
    FILETIME creation;
    FILETIME lastAccess;
    FILETIME lastWrite;
    uint32_t owner;   // uid, when the status was read
    uint32_t group;   // gid
    bool haveStatus;
};

// A folder listing, read whole when it starts: it holds no descriptor, so a
// walk may keep one listing open per level of a tree deeper than the
// process may have files open. The folder's identity is kept to reopen it,
// for the files it listed, as the same folder.
struct KvFind : KvHandle {
    KvFind();
    ~KvFind() override;
    const uint64_t serial;  // never reused, unlike the object's address
    std::vector<ListedEntry> entries;
    std::string names;
    size_t next = 0;
    size_t current = SIZE_MAX;  // the entry last returned
    SplitPath folder;
    dev_t device = 0;
    ino_t inode = 0;

    void Add(const WIN32_FIND_DATAA& data, const struct statx* info = nullptr) {
        ListedEntry entry {};
        if (info != nullptr) {
            entry.owner = info->stx_uid;
            entry.group = info->stx_gid;
            entry.haveStatus = true;
        }
        entry.nameAt = static_cast<uint32_t>(names.size());
        names.append(data.cFileName);
        names.push_back('\0');
        entry.attributes = data.dwFileAttributes;
        entry.reparseTag = data.dwReserved0;
        entry.sizeHigh = data.nFileSizeHigh;
        entry.sizeLow = data.nFileSizeLow;
        entry.creation = data.ftCreationTime;
        entry.lastAccess = data.ftLastAccessTime;
        entry.lastWrite = data.ftLastWriteTime;
        entries.push_back(entry);
    }

    // The next entry, or false with ERROR_NO_MORE_FILES.
    bool Next(WIN32_FIND_DATAA& data) {
        if (next >= entries.size()) {
            SetLastError(ERROR_NO_MORE_FILES);
            return false;
        }
        current = next;
        Describe(entries[next++], data);
        return true;
    }

    void Describe(const ListedEntry& entry, WIN32_FIND_DATAA& data) const {
        std::memset(&data, 0, sizeof data);
        data.dwFileAttributes = entry.attributes;
        data.dwReserved0 = entry.reparseTag;
        data.nFileSizeHigh = entry.sizeHigh;
        data.nFileSizeLow = entry.sizeLow;
        data.ftCreationTime = entry.creation;
        data.ftLastAccessTime = entry.lastAccess;
        data.ftLastWriteTime = entry.lastWrite;
        std::strncpy(data.cFileName, names.c_str() + entry.nameAt, sizeof data.cFileName - 1);
    }
};

// Reads every matching entry of an open folder into the listing; false with
// the reason in the last error when the folder cannot be read.
bool ReadListing(int fd, const std::string& pattern, bool driveRoot, KvFind& find) {
    const bool matchAll = pattern == "*" || pattern == "*.*";
    auto wanted = [&](const char* name) { return matchAll || Matches(pattern.c_str(), name); };
    struct statx folder {};
    bool haveFolder = ::statx(fd, "", AT_EMPTY_PATH, STATX_BASIC_STATS, &folder) == 0;
    if (haveFolder) {
        find.device = makedev(folder.stx_dev_major, folder.stx_dev_minor);
        find.inode = folder.stx_ino;
    }
    WIN32_FIND_DATAA data;
    if (!driveRoot) {
        for (const char* name : {".", ".."}) {
            struct statx info {};
            if (!wanted(name) || !StatEntry(fd, name, info)) continue;
            FillFindData(info, name, true, nullptr, data);
            find.Add(data, &info);
        }
    }
    int listed = ::dup(fd);
    if (listed < 0) {
        SetLastError(ErrorFromErrno(errno));
        return false;
    }
    DIR* dir = ::fdopendir(listed);
    if (dir == nullptr) {
        SetLastError(ErrorFromErrno(errno));
        ::close(listed);
        return false;
    }
    for (;;) {
        errno = 0;
        struct dirent* entry = ::readdir(dir);
        if (entry == nullptr) {
            int error = errno;
            ::closedir(dir);
            if (error != 0) {
                SetLastError(ErrorFromErrno(error));
                return false;
            }
            return true;
        }
        const char* name = entry->d_name;
        if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0 || !wanted(name)) continue;
        struct statx info {};
        if (StatEntry(fd, name, info)) {
            FillFindData(info, name, false, haveFolder ? &folder : nullptr, data);
            find.Add(data, &info);
            continue;
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
        find.Add(data);
    }
}

// The folder descriptor a thread opens listed files in: the folder whose
// files it is opening now. A listing that needs its folder again reopens it,
// so a walk holds one descriptor per thread however deep it is, and threads
// reading files of the listings never wait for each other.
struct OpenFolder {
    uint64_t serial = 0;  // of the listing it was opened for
    int fd = -1;
    ~OpenFolder() {
        if (fd >= 0) ::close(fd);
        fd = -1;
    }
};

thread_local OpenFolder t_folder;

std::atomic<uint64_t> g_lastSerial {0};

KvFind::KvFind() : serial(++g_lastSerial) {}

// Other threads let go of the folder when they open another, or end.
KvFind::~KvFind() {
    if (t_folder.serial == serial && t_folder.fd >= 0) {
        ::close(t_folder.fd);
        t_folder.fd = -1;
        t_folder.serial = 0;
    }
}

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
    std::string actual = name;
    bool found = name != "." && name != ".." && StatEntry(fd, name.c_str(), info);
    int saved = errno;
    if (!found && saved == ENOENT && FindCaseVariant(fd, name, actual)) {
        found = StatEntry(fd, actual.c_str(), info);
        saved = errno;
    }
    ::close(fd);
    if (!found) {
        SetLastError(saved == ENOENT || name == "." || name == ".." ? ERROR_FILE_NOT_FOUND
                                                                    : ErrorFromErrno(saved));
        return INVALID_HANDLE_VALUE;
    }
    FillFindData(info, actual.c_str(), false, haveParent ? &parent : nullptr, *data);
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
    find->folder = folder;
    bool listed = ReadListing(fd, pattern, folder.relative.empty(), *find);
    ::close(fd);
    if (!listed || !find->Next(*findData)) {
        DWORD reason = listed ? ERROR_FILE_NOT_FOUND : GetLastError();
        delete find;
        SetLastError(reason);
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

namespace fsdetail {

bool FoundEntryOwner(HANDLE findFile, uint32_t& owner, uint32_t& group) {
    KvFind* find = FromHandle(findFile);
    if (find == nullptr || find->current >= find->entries.size()) return false;
    const ListedEntry& entry = find->entries[find->current];
    if (!entry.haveStatus) return false;
    owner = entry.owner;
    group = entry.group;
    return true;
}

}  // namespace fsdetail

HANDLE OpenFoundFile(HANDLE findFile, LPCSTR name, DWORD desiredAccess, DWORD shareMode,
                     DWORD flagsAndAttributes) {
    KvFind* find = FromHandle(findFile);
    if (find == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return INVALID_HANDLE_VALUE;
    }
    OpenFolder& folder = t_folder;
    if (folder.serial != find->serial || folder.fd < 0) {
        if (folder.fd >= 0) ::close(folder.fd);
        folder.fd = -1;
        folder.serial = 0;
        DWORD error = ERROR_SUCCESS;
        int fd = Open(find->folder, O_PATH | O_DIRECTORY, error);
        if (fd < 0) {
            SetLastError(error);
            return INVALID_HANDLE_VALUE;
        }
        // A folder put in the listed one's place since is not the folder
        // whose entries were listed: nothing in it is opened for them.
        struct statx now {};
        if (::statx(fd, "", AT_EMPTY_PATH, STATX_INO, &now) != 0 || now.stx_ino != find->inode ||
            makedev(now.stx_dev_major, now.stx_dev_minor) != find->device) {
            ::close(fd);
            SetLastError(ERROR_PATH_NOT_FOUND);
            return INVALID_HANDLE_VALUE;
        }
        folder.fd = fd;
        folder.serial = find->serial;
    }
    return OpenFileAt(folder.fd, name, desiredAccess, shareMode, flagsAndAttributes);
}

bool PeekFoundEntry(HANDLE findFile, size_t ahead, WIN32_FIND_DATAA& data) {
    const KvFind* find = FromHandle(findFile);
    if (find == nullptr || ahead == 0 || ahead > find->entries.size() - find->next) return false;
    find->Describe(find->entries[find->next + ahead - 1], data);
    return true;
}

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
