#include "engine/run/CurrentProfile.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "common/DebugLog.h"
#include "common/Settings.h"
#include "engine/EngineState.h"

namespace {

const DWORD kQueueBufferBytes = 520;
const size_t kLongestQueue = kQueueBufferBytes - 1;

struct QueueEntry {
    std::string text;  // as queued
    LONG job = 0;
};

// A scan job identifier: decimal digits, blanks around them allowed, naming
// a job the database can have (1 to 2^31-1). Anything else (a sign, a
// letter, an empty entry, a number past 32 bits) names no job: read as a
// number it would run job 0, a negative job or a clamped one.
bool JobOfEntry(const std::string& entry, LONG& job) {
    size_t first = entry.find_first_not_of(" \t");
    if (first == std::string::npos) return false;
    size_t last = entry.find_last_not_of(" \t");
    int64_t value = 0;
    for (size_t i = first; i <= last; ++i) {
        char c = entry[i];
        if (c < '0' || c > '9') return false;
        value = value * 10 + (c - '0');
        if (value > INT32_MAX) return false;
    }
    if (value == 0) return false;
    job = static_cast<LONG>(value);
    return true;
}

// The queue's entries in order; entries that name no job are dropped with a
// line each. Text after the last ";" is an entry too: a queue written by
// hand as 12 names job 12, where it would otherwise stay in the queue for
// ever.
std::vector<QueueEntry> ParseQueue(const std::string& text) {
    std::vector<QueueEntry> entries;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find(';', start);
        if (end == std::string::npos) end = text.size();
        QueueEntry entry;
        entry.text = text.substr(start, end - start);
        if (JobOfEntry(entry.text, entry.job)) entries.push_back(entry);
        else WriteDebugLogF(1, "Dropped the scan-job queue entry \"%s\": it names no scan job", entry.text.c_str());
        start = end + 1;
    }
    return entries;
}

std::string FormatQueue(const std::vector<QueueEntry>& entries, size_t from) {
    std::string text;
    for (size_t i = from; i < entries.size(); ++i) text += std::to_string(entries[i].job) + ";";
    return text;
}

// A queue that could not be read whole (longer than the buffer) keeps each
// job once, as many as fit; one of another type is emptied. Either way the
// launcher can read and extend it again.
std::vector<QueueEntry> Repaired(const std::vector<QueueEntry>& entries) {
    std::vector<QueueEntry> kept;
    size_t length = 0;
    std::string dropped;
    for (const QueueEntry& entry : entries) {
        bool twice = false;
        for (const QueueEntry& k : kept) twice = twice || k.job == entry.job;
        if (twice) continue;
        size_t size = std::to_string(entry.job).size() + 1;
        if (length + size > kLongestQueue) {
            dropped += std::to_string(entry.job) + ";";
            continue;
        }
        kept.push_back(entry);
        length += size;
    }
    if (!dropped.empty()) WriteDebugLogF(1, "The scan-job queue is full; scan jobs %s were dropped", dropped.c_str());
    return kept;
}

// The queue text, and whether it had to be repaired.
std::string ReadQueue(bool& repair) {
    repair = false;
    char queue[kQueueBufferBytes] = {};
    DWORD stored = 0;
    SettingRead read = ReadSetting("SPROFILES", REG_SZ, queue, sizeof queue, true, &stored);
    if (read == SettingRead::Read && queue[sizeof queue - 1] != '\0') read = SettingRead::TooLong;
    switch (read) {
        case SettingRead::Read:
            return queue;
        case SettingRead::TooLong: {
            repair = true;
            std::vector<char> whole(static_cast<size_t>(stored) + 1, '\0');
            if (ReadSetting("SPROFILES", REG_SZ, whole.data(), static_cast<DWORD>(whole.size()), true) !=
                SettingRead::Read)
                return std::string();
            whole.back() = '\0';
            WriteDebugLog(1, "The scan-job queue was too long to read; it is rewritten");
            return whole.data();
        }
        case SettingRead::WrongType:
            repair = true;
            WriteDebugLog(1, "The scan-job queue is not a text; it is emptied");
            return std::string();
        case SettingRead::Missing:
            break;
    }
    return std::string();
}

void StoreQueue(const std::string& text) {
    SaveValueToRegistry("SPROFILES", REG_SZ, text.c_str(), static_cast<DWORD>(text.size() + 1));
}

}  // namespace

HRESULT GetCurrentProfile() {
    WriteDebugLog(6, " >> GetCurrentProfile");
    try {
        bool repair = false;
        const std::string text = ReadQueue(repair);
        if (text.size() < 2 && !repair) {
            WriteDebugLog(6, " << GetCurrentProfile - return S_FALSE");
            return S_FALSE;
        }
        std::vector<QueueEntry> entries = ParseQueue(text);
        if (repair) entries = Repaired(entries);
        if (entries.empty()) {
            // Nothing in it named a job: it is emptied so that it does not
            // stand in the way of the next request.
            StoreQueue(std::string());
            WriteDebugLog(6, " << GetCurrentProfile - return S_FALSE");
            return S_FALSE;
        }
        g_nCurrentProfile = entries.front().job;
        WriteDebugLogF(6, "CURRENT PROFILE IS : %s", entries.front().text.c_str());
        StoreQueue(FormatQueue(entries, 1));
        WriteDebugLog(6, " << GetCurrentProfile - return S_OK");
        return S_OK;
    } catch (...) {
        WriteDebugLog(1, "Could not read the current profile from the registry; set the default profile as the current one");
        g_nCurrentProfile = 1;
        return E_FAIL;
    }
}
