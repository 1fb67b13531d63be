#include "agent/SettingsChangeWait.h"

#include <string>
#include <vector>

#include "common/DebugLog.h"
#include "common/Settings.h"
#include "platform/sync/Event.h"

namespace {

const DWORD kPollWaitMs = 1;
const DWORD kWatchFilter = REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_LAST_SET;
// A key that keeps appearing while the watch is moved down to it is being
// rebuilt; a few tries, then this pass polls.
const int kArmAttempts = 8;

// The settings key's path and each key above it, deepest first, ending with
// the hive itself ("").
std::vector<std::string> KeyAndAncestors(const char* path) {
    std::vector<std::string> keys;
    std::string key = path;
    while (!key.empty() && key.back() == '\\') key.pop_back();
    while (!key.empty()) {
        keys.push_back(key);
        size_t cut = key.rfind('\\');
        key = cut == std::string::npos ? std::string() : key.substr(0, cut);
        while (!key.empty() && key.back() == '\\') key.pop_back();
    }
    keys.push_back(std::string());
    return keys;
}

// How many keys of the list, from the deepest, are missing.
size_t MissingLevels(const std::vector<std::string>& keys) {
    for (size_t level = 0; level < keys.size(); ++level) {
        HKEY key = nullptr;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, keys[level].c_str(), 0, KEY_NOTIFY, &key) == ERROR_SUCCESS) {
            RegCloseKey(key);
            return level;
        }
    }
    return keys.size();
}

}  // namespace

CSettingsChangeWait::CSettingsChangeWait() : m_hChanged(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}

CSettingsChangeWait::~CSettingsChangeWait() {
    // The key first: closing it signals the event, which must still exist.
    CloseKey();
    if (m_hChanged != nullptr) CloseHandle(m_hChanged);
}

void CSettingsChangeWait::CloseKey() {
    if (m_hKey != nullptr) RegCloseKey(m_hKey);
    m_hKey = nullptr;
}

void CSettingsChangeWait::Arm() {
    // The old watch goes first: closing its key signals the event, and the
    // reset must come after that and before the new watch is armed.
    CloseKey();
    m_bArmed = false;
    if (m_hChanged == nullptr) return;
    ResetEvent(m_hChanged);
    m_bArmed = ArmDeepestKey();
    if (m_bArmed) {
        m_bFailureLogged = false;
    } else if (!m_bFailureLogged) {
        // Once per spell of failures: the service then polls, and a line per
        // poll would flood the log.
        m_bFailureLogged = true;
        WriteDebugLog(3, "Could not watch the settings key for changes; polling instead");
    }
}

bool CSettingsChangeWait::ArmDeepestKey() {
    const std::vector<std::string> keys = KeyAndAncestors(g_szSettingsKey);
    size_t level = MissingLevels(keys);
    for (int attempt = 0; attempt < kArmAttempts && level < keys.size(); ++attempt) {
        LONG rc = RegOpenKeyExA(HKEY_LOCAL_MACHINE, keys[level].c_str(), 0, KEY_NOTIFY, &m_hKey);
        if (rc == ERROR_SUCCESS) rc = RegNotifyChangeKeyValue(m_hKey, FALSE, kWatchFilter, m_hChanged, TRUE);
        if (rc != ERROR_SUCCESS) {
            CloseKey();
            if (rc != ERROR_FILE_NOT_FOUND && rc != ERROR_KEY_DELETED) return false;
            level = MissingLevels(keys);  // removed in the meantime: one level up
            continue;
        }
        if (level == 0) return true;
        // Watching a key above the settings key: one below it may have been
        // created between the look-up and the arming, unseen by the watch.
        size_t now = MissingLevels(keys);
        if (now >= level) return true;
        CloseKey();
        ResetEvent(m_hChanged);
        level = now;
    }
    CloseKey();
    return false;
}

bool CSettingsChangeWait::WaitForStop(HANDLE stopEvent) {
    if (!m_bArmed) return WaitForSingleObject(stopEvent, kPollWaitMs) == WAIT_OBJECT_0;
    HANDLE events[2] = {stopEvent, m_hChanged};
    DWORD result = WaitForMultipleObjects(2, events, FALSE, INFINITE);
    if (result == WAIT_FAILED) {
        // Never spin on a wait that fails at once: poll until the next arming.
        m_bArmed = false;
        return WaitForSingleObject(stopEvent, kPollWaitMs) == WAIT_OBJECT_0;
    }
    return result == WAIT_OBJECT_0;
}
