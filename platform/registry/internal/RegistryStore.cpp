#include "platform/registry/internal/RegistryStore.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <mutex>
#include <unordered_map>

#include "platform/posix/internal/FileWrite.h"
#include "platform/win/internal/ErrnoMap.h"

namespace kv::platform::registry {
namespace {

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool NeedsEscape(char c, size_t position) {
    return c == '/' || c == '%' || static_cast<unsigned char>(c) < 0x20 ||
           (position == 0 && c == '.');
}

bool MatchesKind(const std::string& path, EntryKind kind, struct stat* st) {
    if (::lstat(path.c_str(), st) != 0) return false;
    return kind == EntryKind::Key ? S_ISDIR(st->st_mode) : S_ISREG(st->st_mode);
}

// An unchanged value is served from memory: one stat instead of an open, a
// read and a close. A write rewrites the file in place or replaces it by
// rename (and the file system soon hands a freed inode number out again),
// and times are stamped from a clock that moves a few milliseconds at a
// time: two writes in one tick can leave the same inode, time and size. So
// a value is remembered only when its file's time lies well behind the
// moment it was read; any later write then bears a later time.
constexpr long long kSettledNanoseconds = 200'000'000;

bool SettledAt(const struct timespec& modified, const struct timespec& now) {
    const long long age = (static_cast<long long>(now.tv_sec) - modified.tv_sec) * 1'000'000'000LL +
                          (now.tv_nsec - modified.tv_nsec);
    return age >= kSettledNanoseconds;
}

struct CachedValue {
    dev_t device;
    ino_t inode;
    struct timespec modified;
    off_t size;
    StoredValue value;
};

std::mutex g_cacheLock;
std::unordered_map<std::string, CachedValue> g_cache;

bool SameFile(const CachedValue& cached, const struct stat& st) {
    return cached.device == st.st_dev && cached.inode == st.st_ino && cached.size == st.st_size &&
           cached.modified.tv_sec == st.st_mtim.tv_sec &&
           cached.modified.tv_nsec == st.st_mtim.tv_nsec;
}

// Most writes give a value bytes of the size it has: a number counted up, a
// flag set or cleared. Such bytes are rewritten in place, under the lock
// that readers take as well, so no reader sees half of them; and as they lie
// within the file's first sector, a power cut leaves the old bytes or the
// new. A replace by rename costs a block allocated and flushed and the old
// one freed, about a third of a millisecond on ext4: the incident counter
// pays that once per reported item, and a check request twice. false when
// the value must be replaced instead (another size, a file that went or is
// not writable here, or locked: a process stopped while reading must not
// stop the writer).
constexpr size_t kSectorBytes = 512;

bool RewriteInPlace(const std::string& path, const std::vector<unsigned char>& bytes) {
    if (bytes.size() > kSectorBytes) return false;
    int fd = ::open(path.c_str(), O_WRONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat held {}, named {};
    // Checked under the lock: a writer that replaced the file meanwhile
    // left this descriptor on a file no longer named.
    bool done = ::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::fstat(fd, &held) == 0 && S_ISREG(held.st_mode) &&
                held.st_size == static_cast<off_t>(bytes.size()) && ::lstat(path.c_str(), &named) == 0 &&
                named.st_dev == held.st_dev && named.st_ino == held.st_ino &&
                posix::WriteAll(fd, bytes.data(), bytes.size());
    ::close(fd);
    return done;
}

// Against a rewrite in place, which holds the lock for one write; released
// by the close. A writer that stopped holding it delays a read by at most a
// tenth of a second, after which the bytes are read as they are.
void ShareLock(int fd) {
    for (int attempt = 0; attempt < 1000; ++attempt) {
        if (::flock(fd, LOCK_SH | LOCK_NB) == 0 || errno != EWOULDBLOCK) return;
        ::usleep(100);
    }
}

bool ReadAll(int fd, std::vector<unsigned char>& bytes) {
    unsigned char buffer[4096];
    for (;;) {
        ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (n == 0) return true;
        bytes.insert(bytes.end(), buffer, buffer + n);
    }
}

bool HexDigit(char c, int& digit) {
    if (c >= '0' && c <= '9') digit = c - '0';
    else if (c >= 'A' && c <= 'F') digit = c - 'A' + 10;
    else if (c >= 'a' && c <= 'f') digit = c - 'a' + 10;
    else return false;
    return true;
}

}  // namespace

bool SameNameIgnoringCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
    return true;
}

std::string EncodeName(const std::string& name) {
    if (name.empty()) return "%";
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (size_t i = 0; i < name.size(); ++i) {
        char c = name[i];
        if (NeedsEscape(c, i)) {
            out.push_back('%');
            out.push_back(kHex[(static_cast<unsigned char>(c) >> 4) & 0xF]);
            out.push_back(kHex[static_cast<unsigned char>(c) & 0xF]);
        } else {
            out.push_back(c);
        }
    }
    return out;
}

std::string DecodeName(const std::string& fileName) {
    if (fileName == "%") return std::string();
    std::string out;
    for (size_t i = 0; i < fileName.size(); ++i) {
        int high = 0, low = 0;
        if (fileName[i] == '%' && i + 2 < fileName.size() && HexDigit(fileName[i + 1], high) &&
            HexDigit(fileName[i + 2], low)) {
            out.push_back(static_cast<char>(high * 16 + low));
            i += 2;
        } else {
            out.push_back(fileName[i]);
        }
    }
    return out;
}

bool FindEntry(const std::string& folder, const std::string& name, EntryKind kind,
               std::string& found) {
    std::string encoded = EncodeName(name);
    struct stat st {};
    // Most lookups use the stored spelling: one stat, no folder scan.
    if (MatchesKind(folder + "/" + encoded, kind, &st)) {
        found = encoded;
        return true;
    }
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) return false;
    bool hit = false;
    while (dirent* entry = ::readdir(dir)) {
        if (entry->d_name[0] == '.') continue;  // ".", ".." and temporary files
        std::string fileName = entry->d_name;
        if (!SameNameIgnoringCase(fileName, encoded)) continue;
        if (!MatchesKind(folder + "/" + fileName, kind, &st)) continue;
        found = fileName;
        hit = true;
        break;
    }
    ::closedir(dir);
    return hit;
}

void ListEntries(const std::string& folder, EntryKind kind, std::vector<std::string>& names) {
    names.clear();
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) return;
    struct stat st {};
    while (dirent* entry = ::readdir(dir)) {
        if (entry->d_name[0] == '.') continue;
        std::string fileName = entry->d_name;
        if (MatchesKind(folder + "/" + fileName, kind, &st)) names.push_back(DecodeName(fileName));
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                            [](char x, char y) { return LowerAscii(x) < LowerAscii(y); });
    });
}

LONG ReadValue(const std::string& folder, const std::string& name, StoredValue& value) {
    // The stored spelling is tried first, and its status serves the cache
    // check as well: an unchanged value costs this one lstat.
    std::string path = folder + "/" + EncodeName(name);
    struct stat st {};
    bool found = MatchesKind(path, EntryKind::Value, &st);
    if (!found) {
        std::string fileName;
        if (!FindEntry(folder, name, EntryKind::Value, fileName)) {
            return ::stat(folder.c_str(), &st) == 0 ? ERROR_FILE_NOT_FOUND : ERROR_KEY_DELETED;
        }
        path = folder + "/" + fileName;
        found = ::lstat(path.c_str(), &st) == 0;
    }
    if (found) {
        std::lock_guard<std::mutex> lock(g_cacheLock);
        auto it = g_cache.find(path);
        if (it != g_cache.end() && SameFile(it->second, st)) {
            value = it->second.value;
            return ERROR_SUCCESS;
        }
    }
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return WindowsErrorFromErrno(errno, ERROR_FILE_NOT_FOUND);
    ShareLock(fd);
    if (::fstat(fd, &st) != 0) {
        ::close(fd);
        return ERROR_FILE_NOT_FOUND;
    }
    // Taken before the read: a write after this moment is stamped no earlier
    // than a tick before it.
    struct timespec readAt {};
    ::clock_gettime(CLOCK_REALTIME, &readAt);
    std::vector<unsigned char> bytes;
    bool ok = ReadAll(fd, bytes);
    ::close(fd);
    if (!ok || bytes.size() < 4) return ERROR_INVALID_DATA;
    value.type = static_cast<DWORD>(bytes[0]) | static_cast<DWORD>(bytes[1]) << 8 |
                 static_cast<DWORD>(bytes[2]) << 16 | static_cast<DWORD>(bytes[3]) << 24;
    value.data.assign(bytes.begin() + 4, bytes.end());
    std::lock_guard<std::mutex> lock(g_cacheLock);
    if (SettledAt(st.st_mtim, readAt)) g_cache[path] = CachedValue{st.st_dev, st.st_ino, st.st_mtim, st.st_size, value};
    else g_cache.erase(path);
    return ERROR_SUCCESS;
}

LONG WriteValue(const std::string& folder, const std::string& name, const StoredValue& value) {
    struct stat st {};
    if (::stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return ERROR_KEY_DELETED;
    std::string fileName;
    const bool exists = FindEntry(folder, name, EntryKind::Value, fileName);
    if (!exists) fileName = EncodeName(name);
    std::vector<unsigned char> bytes(4 + value.data.size());
    for (int i = 0; i < 4; ++i) bytes[i] = static_cast<unsigned char>(value.type >> (8 * i));
    std::copy(value.data.begin(), value.data.end(), bytes.begin() + 4);
    const std::string path = folder + "/" + fileName;
    if (exists && RewriteInPlace(path, bytes)) return ERROR_SUCCESS;
    if (posix::ReplaceFile(path, bytes.data(), bytes.size(), 0644)) return ERROR_SUCCESS;
    // The key's folder went while the value was written.
    if (errno == ENOENT) return ERROR_KEY_DELETED;
    return WindowsErrorFromErrno(errno, ERROR_ACCESS_DENIED);
}

LONG DeleteValue(const std::string& folder, const std::string& name) {
    std::string fileName;
    if (!FindEntry(folder, name, EntryKind::Value, fileName)) return ERROR_FILE_NOT_FOUND;
    if (::unlink((folder + "/" + fileName).c_str()) == 0) return ERROR_SUCCESS;
    return WindowsErrorFromErrno(errno, ERROR_ACCESS_DENIED);
}

}  // namespace kv::platform::registry
