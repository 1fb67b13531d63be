#include "common/Settings.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>

#include "common/DebugLog.h"
#include "common/Deliverable.h"
#include "platform/library/Library.h"

char g_szSettingsKey[SETTINGS_TEXT_CHARS] = {};
DWORD g_dwStartNow = 0;
DWORD g_dwFirstCheck = 0;
DWORD g_dwSmtpPort = 0;
char g_szServerIP[SETTINGS_TEXT_CHARS] = {};
char g_szDataPath[SETTINGS_TEXT_CHARS] = {};
DWORD g_dwFirstStart = 0;

namespace {

// Copies text into a fixed buffer, cut to fit, always terminated.
void CopyText(char* buffer, size_t size, const std::string& text) {
    size_t length = std::min(text.size(), size - 1);
    std::memcpy(buffer, text.data(), length);
    buffer[length] = '\0';
}

void EntryLine(const char* name) {
    std::string line = std::string(" >> ") + name;
    WriteDebugLog(6, line.c_str());
}

void ExitLine(const char* name) {
    std::string line = std::string(" << ") + name;
    WriteDebugLog(6, line.c_str());
}

// The module's full file name in Windows form, cut after its last "\". "\"
// never occurs inside a UTF-8 multi-byte sequence, so a byte scan is
// multi-byte aware.
bool ModuleFolder(char* folder) {
    HMODULE module = g_Deliverable.moduleFile != nullptr ? GetModuleHandleA(g_Deliverable.moduleFile)
                                                         : nullptr;
    if (g_Deliverable.moduleFile != nullptr && module == nullptr) return false;
    char fileName[SETTINGS_TEXT_CHARS] = {};
    DWORD length = GetModuleFileNameA(module, fileName, sizeof fileName);
    if (length == 0 || length >= sizeof fileName) return false;
    char* lastBackslash = nullptr;
    for (char* p = fileName; *p; ++p)
        if (*p == '\\') lastBackslash = p;
    if (lastBackslash == nullptr) return false;
    *lastBackslash = '\0';
    std::memcpy(folder, fileName, static_cast<size_t>(lastBackslash - fileName) + 1);
    return true;
}

}  // namespace

int ReadValueFromRegistry(const char* name, void* destination, DWORD capacity) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, g_szSettingsKey, 0, KEY_READ, &key) != ERROR_SUCCESS) {
        WriteDebugLog(1, "Could not read information from registry");
        return 1;
    }
    DWORD type = 0;
    DWORD size = capacity;
    LONG rc = RegQueryValueExA(key, name, nullptr, &type, static_cast<LPBYTE>(destination), &size);
    RegCloseKey(key);
    if (rc != ERROR_SUCCESS) {
        WriteDebugLog(1, "Could not read information from registry");
        return 1;
    }
    // A text stored without its terminator must still end in the buffer.
    if (type == REG_SZ && size < capacity) static_cast<char*>(destination)[size] = '\0';
    return 0;
}

int ReadOptionalValueFromRegistry(const char* name, void* destination, DWORD capacity) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, g_szSettingsKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return 1;
    DWORD size = capacity;
    LONG rc = RegQueryValueExA(key, name, nullptr, nullptr, static_cast<LPBYTE>(destination), &size);
    RegCloseKey(key);
    return rc == ERROR_SUCCESS ? 0 : 1;
}

void SaveValueToRegistry(const char* name, DWORD type, const void* data, DWORD byteCount) {
    EntryLine("SaveValueToRegistry");
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, g_szSettingsKey, 0, KEY_WRITE, &key) != ERROR_SUCCESS) {
        WriteDebugLog(1, "Could not set information into the registry");
        return;
    }
    if (RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), byteCount) !=
        ERROR_SUCCESS) {
        WriteDebugLog(1, "Could not set information into the registry");
        RegCloseKey(key);
        return;
    }
    RegCloseKey(key);
    ExitLine("SaveValueToRegistry");
}

void GetDebugSettingsFromRegistry() {
    const DeliverableProfile& self = g_Deliverable;
    if (self.settingsEntryExit) EntryLine("GetDebugSettingsFromRegistry");
    try {
        // The new path is composed aside: until it is complete, failures of
        // the reads below go to the log file in use so far, never to a bare
        // file name in whatever folder the process runs in.
        char logFile[LOG_PATH_CHARS] = {};
        std::snprintf(logFile, sizeof logFile, "%s", self.logFileName);
        ReadValueFromRegistry("DEBUG", &g_dwDebug, sizeof(DWORD));
        ReadValueFromRegistry("DEBUGLEVEL", &g_dwDebugLevel, sizeof(DWORD));
        if (self.kind == DeliverableKind::Engine || self.kind == DeliverableKind::Service)
            ReadValueFromRegistry("STARTNOW", &g_dwStartNow, sizeof(DWORD));
        if (self.kind == DeliverableKind::Engine) {
            ReadValueFromRegistry("SFIRST", &g_dwFirstCheck, sizeof(DWORD));
            ReadValueFromRegistry("SMTPPORT", &g_dwSmtpPort, sizeof(DWORD));
        }
        if (g_dwDebug != 0) {
            char folder[LOG_PATH_CHARS] = {};
            ReadValueFromRegistry("LOGDIR", folder, sizeof folder);
            folder[sizeof folder - 1] = '\0';
            // Without a log folder every deliverable logs beside its own
            // module, as the service always has for an empty one. When even
            // that folder is unknown the lines are dropped, never written to
            // the root of a drive.
            if (folder[0] == '\0' && !ModuleFolder(folder)) logFile[0] = '\0';
            else CopyText(logFile, sizeof logFile, std::string(folder) + "\\" + self.logFileName);
        }
        std::memcpy(g_szLogFile, logFile, sizeof g_szLogFile);
        if (self.kind == DeliverableKind::Engine) {
            ReadValueFromRegistry("SERVERIP", g_szServerIP, sizeof g_szServerIP);
            ReadValueFromRegistry("DATAPATH", g_szDataPath, sizeof g_szDataPath);
            g_szServerIP[sizeof g_szServerIP - 1] = '\0';
            g_szDataPath[sizeof g_szDataPath - 1] = '\0';
        }
    } catch (...) {
        WriteDebugLog(1, "Could not read the debug settings from the registry");
    }
    if (self.settingsEntryExit) ExitLine("GetDebugSettingsFromRegistry");
}

void GetDefaultSettingsFromRegistry() {
    try {
        GetDebugSettingsFromRegistry();
        ReadValueFromRegistry("FirstStart", &g_dwFirstStart, sizeof(DWORD));
        ReadValueFromRegistry("SMTPPORT", &g_dwSmtpPort, sizeof(DWORD));
        WriteDebugLog(6, " >> GetDefaultSettingsFromRegistry");
        ReadValueFromRegistry("SERVERIP", g_szServerIP, sizeof g_szServerIP);
        ReadValueFromRegistry("DATAPATH", g_szDataPath, sizeof g_szDataPath);
        g_szServerIP[sizeof g_szServerIP - 1] = '\0';
        g_szDataPath[sizeof g_szDataPath - 1] = '\0';
        WriteDebugLog(6, " << GetDefaultSettingsFromRegistry");
    } catch (...) {
        WriteDebugLog(1, "Could not read the debug settings from the registry");
    }
}

int GetModulePath(char* folder) {
    EntryLine(g_Deliverable.modulePathName);
    if (folder == nullptr) return 1;
    char* work = new (std::nothrow) char[SETTINGS_TEXT_CHARS];
    if (work == nullptr) {
        WriteDebugLog(1, "GetResourceModule: out of memory");
        return 1;
    }
    std::memset(work, 0, SETTINGS_TEXT_CHARS);
    bool found = ModuleFolder(work);
    if (found) std::memcpy(folder, work, std::strlen(work) + 1);
    delete[] work;
    ExitLine(g_Deliverable.modulePathName);
    return found ? 0 : 1;
}
