#include "common/ResourceModule.h"

#include <cstdio>
#include <cstring>

#include "common/DebugLog.h"
#include "common/Deliverable.h"
#include "common/Settings.h"
#include "platform/library/Library.h"
#include "platform/registry/Registry.h"
#include "platform/resource/StringResource.h"
#include "platform/system/SystemInfo.h"
#include "platform/text/CodePage.h"

BYTE g_bWindowsFamily = 0;

namespace {

HMODULE g_hResourceModule = nullptr;

typedef LANGID (*GetUserDefaultUILanguageProc)();

// Reads HKU\.DEFAULT\Control Panel\International\Locale (for example
// "00000409") as the systems before NT 5.0 keep the language. False when the
// key or the value is missing.
bool LanguageFromLocaleValue(LANGID& language) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_USERS, u".DEFAULT\\Control Panel\\International", 0, KEY_READ, &key) !=
        ERROR_SUCCESS) {
        WriteDebugLog(1, "GetResourceModule: error when trying to open registry");
        return false;
    }
    WCHAR locale[32] = {};
    DWORD size = sizeof locale - sizeof(WCHAR);
    LONG rc = RegQueryValueExW(key, u"Locale", nullptr, nullptr, reinterpret_cast<LPBYTE>(locale),
                               &size);
    RegCloseKey(key);
    if (rc != ERROR_SUCCESS) {
        WriteDebugLog(1, "GetResourceModule: error when trying to query registry");
        return false;
    }
    unsigned long value = 0;
    for (const WCHAR* p = locale; *p; ++p) {
        int digit;
        if (*p >= u'0' && *p <= u'9') digit = *p - u'0';
        else if (*p >= u'a' && *p <= u'f') digit = *p - u'a' + 10;
        else if (*p >= u'A' && *p <= u'F') digit = *p - u'A' + 10;
        else break;
        value = (value << 4) | static_cast<unsigned long>(digit);
    }
    language = static_cast<LANGID>(value & 0xFFFF);
    return true;
}

}  // namespace

HMODULE GetResourceModule() {
    char folder[SETTINGS_TEXT_CHARS] = {};
    if (GetModulePath(folder) != 0) return nullptr;
    char fallback[SETTINGS_TEXT_CHARS] = {};
    std::snprintf(fallback, sizeof fallback, "%.760s\\OrvRes409.dll", folder);

    OSVERSIONINFOA version {};
    version.dwOSVersionInfoSize = sizeof version;
    if (!GetVersionExA(&version)) {
        WriteDebugLog(g_Deliverable.versionErrorLevel, "Error when trying to retreive system version");
        return LoadLibraryA(fallback);
    }
    if (version.dwPlatformId == VER_PLATFORM_WIN32_NT)
        g_bWindowsFamily = version.dwMajorVersion >= 5 ? 2 : 1;

    LANGID language = 0;
    if (version.dwMajorVersion >= 5) {
        HMODULE kernel = LoadLibraryW(u"kernel32.dll");
        auto proc = reinterpret_cast<GetUserDefaultUILanguageProc>(
            kernel != nullptr ? GetProcAddress(kernel, "GetUserDefaultUILanguage") : nullptr);
        if (proc != nullptr) language = proc();
    } else if (!LanguageFromLocaleValue(language)) {
        return LoadLibraryA(fallback);
    }
    if (language == 0) {
        WriteDebugLog(g_Deliverable.noLanguageLevel, "Failed to load the system language");
        return LoadLibraryA(fallback);
    }
    char name[SETTINGS_TEXT_CHARS] = {};
    std::snprintf(name, sizeof name, "%.760s\\OrvRes%x.dll", folder, static_cast<unsigned>(language));
    HMODULE module = LoadLibraryA(name);
    if (module == nullptr) module = LoadLibraryA(fallback);
    return module;
}

void SetResourceHandle(HMODULE module) { g_hResourceModule = module; }
HMODULE GetResourceHandle() { return g_hResourceModule; }

char* LoadModuleString(UINT id) {
    char buffer[500] = {};
    if (LoadStringA(g_hResourceModule, id, buffer, sizeof buffer) == 0) {
        WriteDebugLogF(2, "Failed to load string resource: %u", id);
        return nullptr;
    }
    size_t length = std::strlen(buffer);
    auto* copy = static_cast<char*>(CoTaskMemAlloc(length + 1));
    if (copy == nullptr) {
        WriteDebugLogF(1, "Loading string resource: %u - Out of memory", id);
        return nullptr;
    }
    std::memcpy(copy, buffer, length + 1);
    return copy;
}

int LoadResourceString(UINT id, std::string& text) {
    char buffer[256] = {};
    if (LoadStringA(g_hResourceModule, id, buffer, sizeof buffer) == 0) {
        WriteDebugLogF(3, "Failed to load string resource: %u", id);
        return 1;
    }
    text = buffer;
    return 0;
}

std::string ResourceText(UINT id) {
    std::string text;
    LoadResourceString(id, text);
    return text;
}
