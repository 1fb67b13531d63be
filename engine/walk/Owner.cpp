#include <string>

#include "common/DebugLog.h"
#include "engine/walk/Walk.h"
#include "platform/file/File.h"
#include "platform/fs/Owner.h"
#include "platform/win/LastError.h"

HRESULT GetOwner(const std::string& path, std::string& owner, bool isFolder) {
    try {
        HANDLE file = CreateFileA(path.c_str(), READ_CONTROL, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  isFolder ? FILE_FLAG_BACKUP_SEMANTICS : FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            WriteDebugLogF(1, "Error getting the owner of %s; CreateFile error = %d", path.c_str(),
                           static_cast<int>(GetLastError()));
            return S_OK;
        }
        struct Closer {
            HANDLE h;
            ~Closer() { CloseHandle(h); }
        } closer{file};
        return GetOwnerOfFile(file, path, owner);
    } catch (...) {
        WriteDebugLog(1, "Unexpected error in GetOwner");
        return E_FAIL;
    }
}

namespace {

// DOMAIN\account of an owner identifier, appended to owner.
HRESULT AppendAccountName(PSID sid, std::string& owner) {
    char name[260] = {};
    char domain[260] = {};
    DWORD nameLength = 0, domainLength = 0;
    SID_NAME_USE use = SidTypeUnknown;
    // The first call only learns the lengths.
    LookupAccountSidA(nullptr, sid, nullptr, &nameLength, nullptr, &domainLength, &use);
    nameLength = sizeof name;
    domainLength = sizeof domain;
    if (!LookupAccountSidA(nullptr, sid, name, &nameLength, domain, &domainLength, &use)) {
        if (GetLastError() == static_cast<DWORD>(ERROR_NONE_MAPPED)) {
            WriteDebugLog(1, "Account owner not found for specified SID");
            return S_FALSE;
        }
        WriteDebugLog(1, "Error in LookupAccountSid");
        return E_FAIL;
    }
    owner += std::string(domain) + "\\" + name;
    return S_OK;
}

struct DescriptorFreer {
    PSECURITY_DESCRIPTOR d;
    ~DescriptorFreer() { LocalFree(d); }
};

}  // namespace

HRESULT GetOwnerOfFile(HANDLE file, const std::string& path, std::string& owner) {
    try {
        PSID sid = nullptr;
        PSECURITY_DESCRIPTOR descriptor = nullptr;
        DWORD rc = GetSecurityInfo(file, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &sid, nullptr, nullptr,
                                   nullptr, &descriptor);
        if (rc != ERROR_SUCCESS) {
            WriteDebugLogF(1, "Error getting the owner of %s; GetSecurityInfo error = %d", path.c_str(),
                           static_cast<int>(rc));
            return S_OK;
        }
        DescriptorFreer freer{descriptor};
        return AppendAccountName(sid, owner);
    } catch (...) {
        WriteDebugLog(1, "Unexpected error in GetOwner");
        return E_FAIL;
    }
}

bool GetOwnerOfFoundEntry(HANDLE find, std::string& owner, HRESULT& result) {
    try {
        PSID sid = nullptr;
        PSECURITY_DESCRIPTOR descriptor = nullptr;
        if (kv::platform::GetFoundEntrySecurityInfo(find, OWNER_SECURITY_INFORMATION, &sid, nullptr, &descriptor) !=
            ERROR_SUCCESS)
            return false;
        DescriptorFreer freer{descriptor};
        result = AppendAccountName(sid, owner);
        return true;
    } catch (...) {
        WriteDebugLog(1, "Unexpected error in GetOwner");
        result = E_FAIL;
        return true;
    }
}
