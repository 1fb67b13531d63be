#include "agent/AppRegistration.h"

#include <cstring>
#include <string>

#include "platform/registry/Registry.h"

const char* const kAgentAppId = "{6CB65B50-669D-4607-B515-47FBECD40E6E}";

namespace {

const char* const kExeKey = "KvAgent.EXE";

LONG SetKeyValue(const std::string& subKey, const char* name, const char* text) {
    HKEY key = nullptr;
    LONG rc = RegCreateKeyExA(HKEY_CLASSES_ROOT, subKey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                              KEY_ALL_ACCESS, nullptr, &key, nullptr);
    if (rc != ERROR_SUCCESS) return rc;
    rc = RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                        static_cast<DWORD>(std::strlen(text) + 1));
    RegCloseKey(key);
    return rc;
}

LONG DeleteKeyIfPresent(const std::string& subKey) {
    LONG rc = RegDeleteTreeA(HKEY_CLASSES_ROOT, subKey.c_str());
    return rc == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : rc;
}

}  // namespace

LONG RegisterAppId() {
    std::string appIdKey = std::string("AppID\\") + kAgentAppId;
    LONG rc = SetKeyValue(appIdKey, "", "KvAgent");
    if (rc != ERROR_SUCCESS) return rc;
    return SetKeyValue(std::string("AppID\\") + kExeKey, "AppID", kAgentAppId);
}

LONG UnregisterAppId() {
    LONG rc = DeleteKeyIfPresent(std::string("AppID\\") + kAgentAppId);
    LONG exeRc = DeleteKeyIfPresent(std::string("AppID\\") + kExeKey);
    return rc != ERROR_SUCCESS ? rc : exeRc;
}
