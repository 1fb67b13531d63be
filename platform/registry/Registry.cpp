#include "platform/registry/Registry.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/registry/internal/RegistryStore.h"
#include "platform/registry/internal/KeyChangeWatch.h"
#include "platform/registry/internal/RegKey.h"
#include "platform/root/MachineRoot.h"
#include "platform/text/CodePage.h"
#include "platform/win/internal/ErrnoMap.h"

namespace kv::platform::registry {
namespace {

const char* HiveFolder(HKEY key) {
    if (key == HKEY_LOCAL_MACHINE) return "HKLM";
    if (key == HKEY_CLASSES_ROOT) return "HKCR";
    if (key == HKEY_USERS) return "HKU";
    if (key == HKEY_CURRENT_USER) return "HKCU";
    return nullptr;
}

bool IsPredefined(HKEY key) { return HiveFolder(key) != nullptr; }

bool IsFolder(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// The folder of an open key, or of a hive (created on first use: hives always
// exist on Windows).
bool BaseFolder(HKEY key, std::string& folder) {
    if (const char* hive = HiveFolder(key)) {
        folder = MachineRoot() + "/registry/" + hive;
        if (IsFolder(folder)) return true;
        {
            // Never the machine root itself: only the installation makes one.
            std::string registry = MachineRoot() + "/registry";
            ::mkdir(registry.c_str(), 0755);
            ::mkdir(folder.c_str(), 0755);
        }
        return IsFolder(folder);
    }
    if (key == nullptr) return false;
    folder = key->folder;
    return true;
}

std::vector<std::string> SplitKeyPath(const std::string& path) {
    std::vector<std::string> parts;
    std::string part;
    for (char c : path) {
        if (c == '\\') {
            if (!part.empty()) parts.push_back(part);
            part.clear();
        } else {
            part.push_back(c);
        }
    }
    if (!part.empty()) parts.push_back(part);
    return parts;
}

// Sub-keys found before, by base folder and lower-cased path: a program
// that opens the same key again and again (the service polls its settings
// every millisecond) pays one stat of the key's folder instead of one per
// path part. An entry is only a hint: a folder that is gone sends the lookup
// back to the walk, and the walk's answer replaces the entry.
std::mutex g_keyCacheLock;
std::unordered_map<std::string, std::string> g_keyCache;
const size_t kKeyCacheLimit = 256;

std::string KeyCacheName(const std::string& base, const std::string& subKey) {
    std::string name = base;
    name.push_back('\0');
    for (char c : subKey) name.push_back(c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c);
    return name;
}

bool CachedKey(const std::string& cacheName, std::string& folder) {
    {
        std::lock_guard<std::mutex> lock(g_keyCacheLock);
        auto it = g_keyCache.find(cacheName);
        if (it == g_keyCache.end()) return false;
        folder = it->second;
    }
    return IsFolder(folder);
}

void RememberKey(const std::string& cacheName, const std::string& folder) {
    std::lock_guard<std::mutex> lock(g_keyCacheLock);
    if (g_keyCache.size() >= kKeyCacheLimit) g_keyCache.clear();
    g_keyCache[cacheName] = folder;
}

// Walks the sub-key path; with create set, makes the missing keys. Returns
// ERROR_SUCCESS and the folder, or the Windows error.
LONG ResolveKey(HKEY key, const std::string& subKey, bool create, std::string& folder,
                bool* created) {
    if (created) *created = false;
    std::string cacheName;
    bool cacheable = !subKey.empty() && (IsPredefined(key) || key != nullptr);
    if (cacheable) {
        cacheName = KeyCacheName(IsPredefined(key) ? MachineRoot() + "/registry/" + HiveFolder(key) : key->folder,
                                 subKey);
        if (CachedKey(cacheName, folder)) return ERROR_SUCCESS;
    }
    if (!BaseFolder(key, folder)) return ERROR_INVALID_HANDLE;
    // A hive's folder was just checked; an open key's may have gone since.
    if (!IsPredefined(key) && !IsFolder(folder)) return ERROR_KEY_DELETED;
    for (const std::string& part : SplitKeyPath(subKey)) {
        std::string found;
        if (FindEntry(folder, part, EntryKind::Key, found)) {
            folder += "/" + found;
            continue;
        }
        if (!create) return ERROR_FILE_NOT_FOUND;
        std::string next = folder + "/" + EncodeName(part);
        if (::mkdir(next.c_str(), 0755) != 0 && errno != EEXIST) return WindowsErrorFromErrno(errno, ERROR_ACCESS_DENIED);
        folder = next;
        if (created) *created = true;
    }
    if (cacheable) RememberKey(cacheName, folder);
    return ERROR_SUCCESS;
}

HKEY NewKey(const std::string& folder) { return new KvRegKey(folder); }

std::string Narrow(LPCWSTR text) {
    if (text == nullptr) return std::string();
    return Utf16ToUtf8(text, WideLength(text));
}

LONG RemoveTree(const std::string& folder) {
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) return ERROR_FILE_NOT_FOUND;
    while (dirent* entry = ::readdir(dir)) {
        if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) continue;
        std::string path = folder + "/" + entry->d_name;
        if (IsFolder(path)) RemoveTree(path);
        else ::unlink(path.c_str());
    }
    ::closedir(dir);
    return ::rmdir(folder.c_str()) == 0 ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;
}

}  // namespace
}  // namespace kv::platform::registry

using namespace kv::platform::registry;

LONG RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD, REGSAM, PHKEY result) {
    if (result == nullptr) return ERROR_INVALID_PARAMETER;
    std::string folder;
    LONG rc = ResolveKey(key, subKey ? subKey : "", false, folder, nullptr);
    if (rc != ERROR_SUCCESS) return rc;
    *result = NewKey(folder);
    return ERROR_SUCCESS;
}

LONG RegOpenKeyExW(HKEY key, LPCWSTR subKey, DWORD options, REGSAM desired, PHKEY result) {
    std::string narrow = Narrow(subKey);
    return RegOpenKeyExA(key, narrow.c_str(), options, desired, result);
}

LONG RegCreateKeyExA(HKEY key, LPCSTR subKey, DWORD, LPSTR, DWORD, REGSAM, void*, PHKEY result,
                     LPDWORD disposition) {
    if (result == nullptr) return ERROR_INVALID_PARAMETER;
    std::string folder;
    bool created = false;
    LONG rc = ResolveKey(key, subKey ? subKey : "", true, folder, &created);
    if (rc != ERROR_SUCCESS) return rc;
    *result = NewKey(folder);
    if (disposition) *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    return ERROR_SUCCESS;
}

LONG RegCloseKey(HKEY key) {
    if (key == nullptr) return ERROR_INVALID_HANDLE;
    if (!IsPredefined(key)) delete key;
    return ERROR_SUCCESS;
}

LONG RegQueryValueExA(HKEY key, LPCSTR name, LPDWORD, LPDWORD type, LPBYTE data,
                      LPDWORD byteCount) {
    std::string folder;
    if (!BaseFolder(key, folder)) return ERROR_INVALID_HANDLE;
    StoredValue value;
    LONG rc = ReadValue(folder, name ? name : "", value);
    if (rc != ERROR_SUCCESS) return rc;
    if (type) *type = value.type;
    DWORD size = static_cast<DWORD>(value.data.size());
    if (data != nullptr) {
        if (byteCount == nullptr) return ERROR_INVALID_PARAMETER;
        if (*byteCount < size) {
            *byteCount = size;
            return ERROR_MORE_DATA;
        }
        std::memcpy(data, value.data.data(), size);
    }
    if (byteCount) *byteCount = size;
    return ERROR_SUCCESS;
}

LONG RegQueryValueExW(HKEY key, LPCWSTR name, LPDWORD, LPDWORD type, LPBYTE data,
                      LPDWORD byteCount) {
    std::string folder;
    if (!BaseFolder(key, folder)) return ERROR_INVALID_HANDLE;
    StoredValue value;
    LONG rc = ReadValue(folder, Narrow(name), value);
    if (rc != ERROR_SUCCESS) return rc;
    std::string bytes(value.data.begin(), value.data.end());
    if (value.type == REG_SZ || value.type == REG_EXPAND_SZ) {
        std::u16string wide = kv::platform::Utf8ToUtf16(bytes);
        bytes.assign(reinterpret_cast<const char*>(wide.data()), wide.size() * sizeof(char16_t));
    }
    if (type) *type = value.type;
    DWORD size = static_cast<DWORD>(bytes.size());
    if (data != nullptr) {
        if (byteCount == nullptr) return ERROR_INVALID_PARAMETER;
        if (*byteCount < size) {
            *byteCount = size;
            return ERROR_MORE_DATA;
        }
        std::memcpy(data, bytes.data(), size);
    }
    if (byteCount) *byteCount = size;
    return ERROR_SUCCESS;
}

LONG RegSetValueExA(HKEY key, LPCSTR name, DWORD, DWORD type, const BYTE* data, DWORD byteCount) {
    std::string folder;
    if (!BaseFolder(key, folder)) return ERROR_INVALID_HANDLE;
    if (data == nullptr && byteCount != 0) return ERROR_INVALID_PARAMETER;
    StoredValue value;
    value.type = type;
    if (byteCount) value.data.assign(data, data + byteCount);
    return WriteValue(folder, name ? name : "", value);
}

LONG RegDeleteValueA(HKEY key, LPCSTR name) {
    std::string folder;
    if (!BaseFolder(key, folder)) return ERROR_INVALID_HANDLE;
    return DeleteValue(folder, name ? name : "");
}

LONG RegDeleteKeyA(HKEY key, LPCSTR subKey) {
    if (subKey == nullptr || *subKey == '\0') return ERROR_INVALID_PARAMETER;
    std::string folder;
    LONG rc = ResolveKey(key, subKey, false, folder, nullptr);
    if (rc != ERROR_SUCCESS) return rc;
    std::vector<std::string> keys;
    ListEntries(folder, EntryKind::Key, keys);
    if (!keys.empty()) return ERROR_ACCESS_DENIED;
    std::vector<std::string> values;
    ListEntries(folder, EntryKind::Value, values);
    for (const std::string& v : values) DeleteValue(folder, v);
    return ::rmdir(folder.c_str()) == 0 ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;
}

LONG RegDeleteTreeA(HKEY key, LPCSTR subKey) {
    std::string folder;
    LONG rc = ResolveKey(key, subKey ? subKey : "", false, folder, nullptr);
    if (rc != ERROR_SUCCESS) return rc;
    if (subKey == nullptr || *subKey == '\0') {
        // Deleting the tree of an open key empties it but keeps the key itself.
        std::vector<std::string> keys, values;
        ListEntries(folder, EntryKind::Key, keys);
        ListEntries(folder, EntryKind::Value, values);
        for (const std::string& v : values) DeleteValue(folder, v);
        for (const std::string& k : keys) {
            std::string found;
            if (FindEntry(folder, k, EntryKind::Key, found)) RemoveTree(folder + "/" + found);
        }
        return ERROR_SUCCESS;
    }
    return RemoveTree(folder);
}

namespace {

LONG CopyName(const std::string& name, LPSTR out, LPDWORD length) {
    if (out == nullptr || length == nullptr) return ERROR_INVALID_PARAMETER;
    if (name.size() + 1 > *length) return ERROR_MORE_DATA;
    std::memcpy(out, name.c_str(), name.size() + 1);
    *length = static_cast<DWORD>(name.size());
    return ERROR_SUCCESS;
}

}  // namespace

LONG RegNotifyChangeKeyValue(HKEY key, BOOL watchSubtree, DWORD notifyFilter, HANDLE event, BOOL asynchronous) {
    const DWORD known = REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_ATTRIBUTES | REG_NOTIFY_CHANGE_LAST_SET |
                        REG_NOTIFY_CHANGE_SECURITY;
    if (notifyFilter == 0 || (notifyFilter & ~known) != 0) return ERROR_INVALID_PARAMETER;
    if (asynchronous && (event == nullptr || event == INVALID_HANDLE_VALUE)) return ERROR_INVALID_PARAMETER;
    std::string folder;
    if (!BaseFolder(key, folder)) return ERROR_INVALID_HANDLE;
    if (!asynchronous) return KeyChangeWatch::WaitForChange(folder, watchSubtree != FALSE, notifyFilter);
    if (IsPredefined(key)) {
        // A hive's handle is never closed, so nothing would end the watch.
        return ERROR_INVALID_HANDLE;
    }
    std::unique_ptr<KeyChangeWatch> watch;
    LONG rc = KeyChangeWatch::Start(folder, watchSubtree != FALSE, notifyFilter, event, watch);
    if (rc != ERROR_SUCCESS) return rc;
    std::lock_guard<std::mutex> lock(key->watchLock);
    // Watches that have fired are done; a key re-armed after every change
    // keeps one pending watch, not one per change.
    std::erase_if(key->watches, [](const std::unique_ptr<KeyChangeWatch>& w) { return w->Fired(); });
    key->watches.push_back(std::move(watch));
    return ERROR_SUCCESS;
}

LONG RegEnumKeyExA(HKEY key, DWORD index, LPSTR name, LPDWORD nameLength, LPDWORD, LPSTR, LPDWORD,
                   void*) {
    std::string folder;
    if (!BaseFolder(key, folder)) return ERROR_INVALID_HANDLE;
    std::vector<std::string> keys;
    ListEntries(folder, EntryKind::Key, keys);
    if (index >= keys.size()) return ERROR_NO_MORE_ITEMS;
    return CopyName(keys[index], name, nameLength);
}

LONG RegEnumValueA(HKEY key, DWORD index, LPSTR name, LPDWORD nameLength, LPDWORD, LPDWORD type,
                   LPBYTE data, LPDWORD byteCount) {
    std::string folder;
    if (!BaseFolder(key, folder)) return ERROR_INVALID_HANDLE;
    std::vector<std::string> values;
    ListEntries(folder, EntryKind::Value, values);
    if (index >= values.size()) return ERROR_NO_MORE_ITEMS;
    LONG rc = CopyName(values[index], name, nameLength);
    if (rc != ERROR_SUCCESS) return rc;
    if (type == nullptr && data == nullptr && byteCount == nullptr) return ERROR_SUCCESS;
    return RegQueryValueExA(key, values[index].c_str(), nullptr, type, data, byteCount);
}
