#include "platform/fs/Owner.h"

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/file/File.h"
#include "platform/fs/internal/Resolve.h"
#include "platform/system/SystemInfo.h"
#include "platform/win/LastError.h"

namespace {

constexpr BYTE kUnixAuthority = 22;
constexpr DWORD kUserKind = 1;
constexpr DWORD kGroupKind = 2;
constexpr DWORD kDescriptorMagic = 0x4B565344;  // "KVSD"

struct KvSid {
    BYTE Revision;
    BYTE SubAuthorityCount;
    BYTE IdentifierAuthority[6];
    DWORD SubAuthority[2];  // kind, id
};

struct KvDescriptor {
    DWORD magic;
    DWORD present;  // OWNER_ and GROUP_SECURITY_INFORMATION
    KvSid owner;
    KvSid group;
};

KvSid MakeSid(DWORD kind, DWORD id) {
    KvSid sid {};
    sid.Revision = 1;
    sid.SubAuthorityCount = 2;
    sid.IdentifierAuthority[5] = kUnixAuthority;
    sid.SubAuthority[0] = kind;
    sid.SubAuthority[1] = id;
    return sid;
}

// Identifiers may sit unaligned in a caller's buffer: read by copying.
bool ReadSid(const void* where, KvSid& sid) {
    if (where == nullptr) return false;
    std::memcpy(&sid, where, sizeof sid);
    static const BYTE kAuthority[6] = {0, 0, 0, 0, 0, kUnixAuthority};
    return sid.Revision == 1 && sid.SubAuthorityCount == 2 &&
           std::memcmp(sid.IdentifierAuthority, kAuthority, 6) == 0 &&
           (sid.SubAuthority[0] == kUserKind || sid.SubAuthority[0] == kGroupKind);
}

KvDescriptor MakeDescriptor(const struct stat& info, SECURITY_INFORMATION requested) {
    KvDescriptor descriptor {};
    descriptor.magic = kDescriptorMagic;
    descriptor.present = requested & (OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION);
    if (descriptor.present & OWNER_SECURITY_INFORMATION) descriptor.owner = MakeSid(kUserKind, info.st_uid);
    if (descriptor.present & GROUP_SECURITY_INFORMATION) descriptor.group = MakeSid(kGroupKind, info.st_gid);
    return descriptor;
}

// Account names, looked up once per identifier for a short while: a walk
// asks for the same few owners hundreds of thousands of times, and the
// user database is a file read from the start at every lookup. A change of
// /etc/passwd or /etc/group forgets everything at once.
class NameCache {
public:
    bool Lookup(DWORD kind, DWORD id, std::string& name) {
        std::lock_guard<std::mutex> hold(m_lock);
        auto now = std::chrono::steady_clock::now();
        // The files themselves are looked at no more than once a second.
        if (now - m_stampTime > std::chrono::seconds(1) || m_entries.size() > 4096) {
            std::string stamp = Stamp();
            if (stamp != m_stamp || m_entries.size() > 4096) {
                m_entries.clear();
                m_stamp = stamp;
            }
            m_stampTime = now;
        }
        uint64_t key = (static_cast<uint64_t>(kind) << 32) | id;
        auto it = m_entries.find(key);
        if (it == m_entries.end() || now - it->second.when > std::chrono::seconds(30)) {
            Entry entry;
            entry.found = Resolve(kind, id, entry.name);
            entry.when = now;
            it = m_entries.insert_or_assign(key, entry).first;
        }
        name = it->second.name;
        return it->second.found;
    }

private:
    struct Entry {
        bool found = false;
        std::string name;
        std::chrono::steady_clock::time_point when;
    };

    std::chrono::steady_clock::time_point m_stampTime{};

    static std::string Stamp() {
        std::string stamp;
        for (const char* file : {"/etc/passwd", "/etc/group"}) {
            struct stat info {};
            if (::stat(file, &info) == 0)
                stamp += std::to_string(info.st_ino) + ":" + std::to_string(info.st_mtim.tv_sec) + "." +
                         std::to_string(info.st_mtim.tv_nsec) + ";";
        }
        return stamp;
    }

    static bool Resolve(DWORD kind, DWORD id, std::string& name) {
        std::vector<char> buffer(16384);
        for (;;) {
            int error;
            if (kind == kUserKind) {
                struct passwd entry {}, *result = nullptr;
                error = ::getpwuid_r(id, &entry, buffer.data(), buffer.size(), &result);
                if (error == 0 && result != nullptr) {
                    name = result->pw_name;
                    return true;
                }
            } else {
                struct group entry {}, *result = nullptr;
                error = ::getgrgid_r(id, &entry, buffer.data(), buffer.size(), &result);
                if (error == 0 && result != nullptr) {
                    name = result->gr_name;
                    return true;
                }
            }
            if (error != ERANGE || buffer.size() > (1u << 24)) return false;
            buffer.resize(buffer.size() * 4);
        }
    }

    std::mutex m_lock;
    std::string m_stamp;
    std::unordered_map<uint64_t, Entry> m_entries;
};

NameCache& Names() {
    static NameCache* cache = new NameCache();  // outlives static destruction
    return *cache;
}

std::string ComputerName() {
    char buffer[64];
    DWORD size = sizeof buffer;
    if (!GetComputerNameA(buffer, &size)) return "LOCALHOST";
    return std::string(buffer, size);
}

bool IsLocalSystem(LPCSTR systemName) {
    if (systemName == nullptr || *systemName == '\0') return true;
    std::string name(systemName);
    while (!name.empty() && name[0] == '\\') name.erase(0, 1);
    std::string local = ComputerName();
    if (name.size() != local.size()) return false;
    for (size_t i = 0; i < name.size(); ++i)
        if (std::toupper(static_cast<unsigned char>(name[i])) != local[i]) return false;
    return true;
}

}  // namespace

DWORD GetSecurityInfo(HANDLE handle, SE_OBJECT_TYPE objectType, SECURITY_INFORMATION info,
                      PSID* ppsidOwner, PSID* ppsidGroup, PACL* ppDacl, PACL* ppSacl,
                      PSECURITY_DESCRIPTOR* ppSecurityDescriptor) {
    if (objectType != SE_FILE_OBJECT) return ERROR_INVALID_PARAMETER;
    if ((ppsidOwner != nullptr || ppsidGroup != nullptr) && ppSecurityDescriptor == nullptr)
        return ERROR_INVALID_PARAMETER;
    int fd = kv::platform::FileDescriptor(handle);
    if (fd < 0) return ERROR_INVALID_HANDLE;
    struct stat status {};
    if (::fstat(fd, &status) != 0) return kv::platform::fsdetail::ErrorFromErrno(errno);
    if (ppDacl) *ppDacl = nullptr;
    if (ppSacl) *ppSacl = nullptr;
    if (ppSecurityDescriptor == nullptr) return ERROR_SUCCESS;
    auto* descriptor = static_cast<KvDescriptor*>(std::malloc(sizeof(KvDescriptor)));
    if (descriptor == nullptr) return ERROR_NOT_ENOUGH_MEMORY;
    *descriptor = MakeDescriptor(status, info);
    *ppSecurityDescriptor = descriptor;
    if (ppsidOwner)
        *ppsidOwner = (descriptor->present & OWNER_SECURITY_INFORMATION) ? &descriptor->owner : nullptr;
    if (ppsidGroup)
        *ppsidGroup = (descriptor->present & GROUP_SECURITY_INFORMATION) ? &descriptor->group : nullptr;
    return ERROR_SUCCESS;
}

DWORD kv::platform::GetFoundEntrySecurityInfo(HANDLE find, SECURITY_INFORMATION info, PSID* ppsidOwner,
                                              PSID* ppsidGroup, PSECURITY_DESCRIPTOR* ppSecurityDescriptor) {
    if (ppSecurityDescriptor == nullptr) return ERROR_INVALID_PARAMETER;
    uint32_t owner = 0, group = 0;
    if (!kv::platform::fsdetail::FoundEntryOwner(find, owner, group)) return ERROR_ACCESS_DENIED;
    struct stat status {};
    status.st_uid = owner;
    status.st_gid = group;
    auto* descriptor = static_cast<KvDescriptor*>(std::malloc(sizeof(KvDescriptor)));
    if (descriptor == nullptr) return ERROR_NOT_ENOUGH_MEMORY;
    *descriptor = MakeDescriptor(status, info);
    *ppSecurityDescriptor = descriptor;
    if (ppsidOwner)
        *ppsidOwner = (descriptor->present & OWNER_SECURITY_INFORMATION) ? &descriptor->owner : nullptr;
    if (ppsidGroup)
        *ppsidGroup = (descriptor->present & GROUP_SECURITY_INFORMATION) ? &descriptor->group : nullptr;
    return ERROR_SUCCESS;
}

BOOL GetFileSecurityA(LPCSTR fileName, SECURITY_INFORMATION requested,
                      PSECURITY_DESCRIPTOR descriptor, DWORD length, LPDWORD lengthNeeded) {
    if (fileName == nullptr || lengthNeeded == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    kv::platform::fsdetail::SplitPath split;
    DWORD error = ERROR_SUCCESS;
    if (!kv::platform::fsdetail::Split(fileName, split, error)) {
        SetLastError(error);
        return FALSE;
    }
    int fd = kv::platform::fsdetail::Open(split, O_PATH | O_NOFOLLOW, error);
    if (fd < 0) {
        SetLastError(error == ERROR_PATH_NOT_FOUND && errno == ENOENT ? ERROR_FILE_NOT_FOUND : error);
        return FALSE;
    }
    struct stat status {};
    bool ok = ::fstat(fd, &status) == 0;
    int saved = errno;
    ::close(fd);
    if (!ok) {
        SetLastError(kv::platform::fsdetail::ErrorFromErrno(saved));
        return FALSE;
    }
    *lengthNeeded = sizeof(KvDescriptor);
    if (descriptor == nullptr || length < sizeof(KvDescriptor)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    KvDescriptor made = MakeDescriptor(status, requested);
    std::memcpy(descriptor, &made, sizeof made);
    return TRUE;
}

BOOL GetSecurityDescriptorOwner(PSECURITY_DESCRIPTOR descriptor, PSID* owner, LPBOOL defaulted) {
    if (descriptor == nullptr || owner == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    KvDescriptor read;
    std::memcpy(&read, descriptor, sizeof read);
    if (read.magic != kDescriptorMagic) {
        SetLastError(ERROR_INVALID_SECURITY_DESCR);
        return FALSE;
    }
    *owner = (read.present & OWNER_SECURITY_INFORMATION)
                 ? static_cast<char*>(descriptor) + offsetof(KvDescriptor, owner)
                 : nullptr;
    if (defaulted) *defaulted = FALSE;
    return TRUE;
}

BOOL LookupAccountSidA(LPCSTR systemName, PSID sid, LPSTR name, LPDWORD nameLength,
                       LPSTR domainName, LPDWORD domainLength, PSID_NAME_USE use) {
    KvSid read;
    if (nameLength == nullptr || domainLength == nullptr || !ReadSid(sid, read)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (!IsLocalSystem(systemName)) {
        SetLastError(RPC_S_SERVER_UNAVAILABLE);
        return FALSE;
    }
    std::string account;
    if (!Names().Lookup(read.SubAuthority[0], read.SubAuthority[1], account)) {
        SetLastError(ERROR_NONE_MAPPED);
        return FALSE;
    }
    std::string domain = ComputerName();
    if (name == nullptr || domainName == nullptr || *nameLength < account.size() + 1 ||
        *domainLength < domain.size() + 1) {
        *nameLength = static_cast<DWORD>(account.size() + 1);
        *domainLength = static_cast<DWORD>(domain.size() + 1);
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    std::memcpy(name, account.c_str(), account.size() + 1);
    std::memcpy(domainName, domain.c_str(), domain.size() + 1);
    *nameLength = static_cast<DWORD>(account.size());
    *domainLength = static_cast<DWORD>(domain.size());
    if (use) *use = read.SubAuthority[0] == kUserKind ? SidTypeUser : SidTypeGroup;
    return TRUE;
}

BOOL IsValidSid(PSID sid) {
    KvSid read;
    return ReadSid(sid, read) ? TRUE : FALSE;
}

HLOCAL LocalFree(HLOCAL memory) {
    std::free(memory);
    return nullptr;
}
