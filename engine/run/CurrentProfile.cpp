#include "engine/run/CurrentProfile.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>

#include "common/DebugLog.h"
#include "common/Settings.h"
#include "engine/EngineState.h"

namespace {

const DWORD kQueueBufferBytes = 520;

// The leading decimal number of an entry, as atol reads it (blanks skipped,
// a sign honoured, no digits giving 0), held to the range of a scan job
// identifier instead of overflowing.
LONG JobOfEntry(const std::string& entry) {
    errno = 0;
    long long value = std::strtoll(entry.c_str(), nullptr, 10);
    if (value > INT32_MAX) return INT32_MAX;
    if (value < INT32_MIN) return INT32_MIN;
    return static_cast<LONG>(value);
}

}  // namespace

HRESULT GetCurrentProfile() {
    WriteDebugLog(6, " >> GetCurrentProfile");
    try {
        char queue[kQueueBufferBytes] = {};
        ReadValueFromRegistry("SPROFILES", queue, sizeof queue);
        queue[sizeof queue - 1] = '\0';
        std::string text(queue);
        if (text.size() < 2) {
            WriteDebugLog(6, " << GetCurrentProfile - return S_FALSE");
            return S_FALSE;
        }
        size_t semicolon = text.find(';');
        std::string entry = semicolon == std::string::npos ? std::string() : text.substr(0, semicolon);
        std::string rest = semicolon == std::string::npos ? text : text.substr(semicolon + 1);
        g_nCurrentProfile = JobOfEntry(entry);
        WriteDebugLogF(6, "CURRENT PROFILE IS : %s", entry.c_str());
        SaveValueToRegistry("SPROFILES", REG_SZ, rest.c_str(), static_cast<DWORD>(rest.size() + 1));
        WriteDebugLog(6, " << GetCurrentProfile - return S_OK");
        return S_OK;
    } catch (...) {
        WriteDebugLog(1, "Could not read the current profile from the registry; set the default profile as the current one");
        g_nCurrentProfile = 1;
        return E_FAIL;
    }
}
