#include "common/Settings.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <new>
#include <set>
#include <string>
#include <vector>

#include "common/DebugLog.h"
#include "common/Deliverable.h"
#include "platform/library/Library.h"

char g_szSettingsKey[SETTINGS_TEXT_CHARS] = {};
DWORD g_dwStartNow = 0;
DWORD g_dwFirstCheck = 0;
// The SMTP port a mail server listens on when nobody set another.
DWORD g_dwSmtpPort = 25;
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

namespace {

// Values whose last read failed and was logged: the service reads its
// settings every millisecond, and a missing value logged at every read
// would write hundreds of lines a second. A value is logged again only
// after a read of it has succeeded and a later one fails.
class FailedReads {
public:
    // True when this failure is the first since the value was last read.
    bool Failed(const char* name) {
        std::lock_guard<std::mutex> hold(m_lock);
        return m_failed.insert(Key(name)).second;
    }
    void Succeeded(const char* name) {
        std::lock_guard<std::mutex> hold(m_lock);
        if (!m_failed.empty()) m_failed.erase(Key(name));
    }

private:
    static std::string Key(const char* name) {
        std::string key = std::string(g_szSettingsKey) + "\\";
        for (const char* p = name; *p != '\0'; ++p)
            key.push_back(static_cast<char>(std::toupper(static_cast<unsigned char>(*p))));
        return key;
    }
    std::mutex m_lock;
    std::set<std::string> m_failed;
};

FailedReads& Failures() {
    static FailedReads* failures = new FailedReads();  // outlives static destruction
    return *failures;
}

bool TypeFits(DWORD expected, DWORD stored) {
    if (expected == REG_SZ) return stored == REG_SZ || stored == REG_EXPAND_SZ;
    return stored == expected;
}

const char* TypeName(DWORD type) {
    switch (type) {
        case REG_SZ: return "REG_SZ";
        case REG_EXPAND_SZ: return "REG_EXPAND_SZ";
        case REG_BINARY: return "REG_BINARY";
        case REG_DWORD: return "REG_DWORD";
        default: return "REG_NONE";
    }
}

}  // namespace

SettingRead ReadSetting(const char* name, DWORD type, void* destination, DWORD capacity, bool logMissing,
                        DWORD* storedBytes) {
    if (storedBytes != nullptr) *storedBytes = 0;
    HKEY key = nullptr;
    SettingRead result = SettingRead::Read;
    DWORD storedType = REG_NONE;
    // Read aside: a value that does not fit, or is of another type, leaves
    // the destination as it was.
    // The service reads its settings every millisecond: the usual sizes
    // need no allocation.
    BYTE small[SETTINGS_TEXT_CHARS + 300];
    std::vector<BYTE> large;
    BYTE* buffer = small;
    if (capacity > sizeof small) {
        large.resize(capacity);
        buffer = large.data();
    }
    DWORD size = capacity;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, g_szSettingsKey, 0, KEY_READ, &key) != ERROR_SUCCESS) {
        result = SettingRead::Missing;
    } else {
        LONG rc = RegQueryValueExA(key, name, nullptr, &storedType, buffer, &size);
        RegCloseKey(key);
        if (storedBytes != nullptr && (rc == ERROR_SUCCESS || rc == ERROR_MORE_DATA)) *storedBytes = size;
        if (rc == ERROR_MORE_DATA) result = TypeFits(type, storedType) ? SettingRead::TooLong : SettingRead::WrongType;
        else if (rc != ERROR_SUCCESS) result = SettingRead::Missing;
        else if (!TypeFits(type, storedType)) result = SettingRead::WrongType;
        // A number is exactly four bytes; anything shorter is no number.
        else if (type == REG_DWORD && size != sizeof(DWORD)) result = SettingRead::WrongType;
    }
    if (result == SettingRead::Read) {
        std::memcpy(destination, buffer, size);
        // A text stored without its terminator must still end in the buffer.
        if (type == REG_SZ && size < capacity) static_cast<char*>(destination)[size] = '\0';
        Failures().Succeeded(name);
        return result;
    }
    if (result == SettingRead::Missing && !logMissing) return result;
    // Counted as logged only once a line can be written.
    if (!DebugLogWrites(1) || !Failures().Failed(name)) return result;
    if (result == SettingRead::WrongType)
        WriteDebugLogF(1, "Registry value %s is %s, not %s: it is treated as missing", name, TypeName(storedType),
                       TypeName(type));
    else if (result == SettingRead::TooLong)
        WriteDebugLogF(1, "Registry value %s is longer than %u bytes: it is treated as missing", name,
                       static_cast<unsigned>(capacity));
    else
        WriteDebugLog(1, "Could not read information from registry");
    return result;
}

int ReadValueFromRegistry(const char* name, void* destination, DWORD capacity) {
    DWORD type = capacity == sizeof(DWORD) ? REG_DWORD : REG_SZ;
    return ReadSetting(name, type, destination, capacity, true) == SettingRead::Read ? 0 : 1;
}

int ReadOptionalValueFromRegistry(const char* name, void* destination, DWORD capacity) {
    DWORD type = capacity == sizeof(DWORD) ? REG_DWORD : REG_SZ;
    return ReadSetting(name, type, destination, capacity, false) == SettingRead::Read ? 0 : 1;
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
