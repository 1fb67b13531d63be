#include "engine/scope/ScopeRules.h"

#include "common/DebugLog.h"
#include "platform/system/SystemInfo.h"

namespace {

bool IsFile(const ScanItem& item) { return item.type == "ftFile"; }

void LogItem(const std::string& path, const char* verdict) {
    WriteDebugLogF(7, "Item %s%s", path.c_str(), verdict);
}

// The folder path that holds P: up to and including its last "\"; a folder
// path first loses its own final character, so C:\DATA\REPORTS\ gives
// C:\DATA\ and C:\ gives the empty text.
std::string ParentPath(const std::string& path, bool file) {
    std::string text = path;
    if (!file && !text.empty()) text.back() = ' ';
    size_t slash = text.rfind('\\');
    return slash == std::string::npos ? std::string() : text.substr(0, slash + 1);
}

bool ListMatches(const TextList& list, const std::string& path, bool anywhere, int direction) {
    std::string upper = UpperCase(path);
    // Substring search on bytes is UTF-8 aware: a valid sequence never
    // matches inside another character.
    for (const std::string& entry : list) {
        if (direction != 0 && entry.find(upper) != std::string::npos &&
            (anywhere || entry.size() == upper.size()))
            return true;
        if (direction != 1 && upper.find(entry) != std::string::npos &&
            (anywhere || entry.size() == upper.size()))
            return true;
    }
    return false;
}

// Quiet: the same verdict, without log lines or pauses.
template <bool Quiet>
int Classify(const ScanItem& item, int mode) {
    const std::string path = ItemPath(item);
    const bool file = IsFile(item);
    auto matches = [&](const TextList& list, bool anywhere, int direction) {
        return Quiet ? ListMatches(list, path, anywhere, direction) : MatchPathList(list, path, anywhere, direction);
    };
    auto verdict = [&](const char* text, int code) {
        if (!Quiet) LogItem(path, text);
        return code;
    };

    if (file && ListHolds(g_excludedExtensions, ExtensionOf(path))) return verdict(" IS EXT EXCLUDED", SCOPE_EXCLUDED);
    if (matches(g_cList, false, 2)) return verdict(" IS IN C PROF", SCOPE_IN_JOB);
    if (matches(g_oList, false, 2)) {
        if (file) return verdict(" IS IN O PROF", SCOPE_OUTSIDE);
        if (matches(g_cList, true, 1)) return verdict(" IS IN O-R PROF", SCOPE_LEADS_TO_JOB);
        return verdict(" IS IN O PROF 1", SCOPE_OUTSIDE);
    }
    if (mode == 1) return SCOPE_IN_JOB;
    if (mode == 0) {
        if (!file && matches(g_cList, true, 1)) return verdict(" IS IN O-R PROF 2", SCOPE_LEADS_TO_JOB);
        return verdict(" IS IN O PROF 2", SCOPE_OUTSIDE);
    }
    std::string parent = ParentPath(path, file);
    if (!Quiet) WriteDebugLogF(7, file ? "Parent path: %s" : "Path: %s", parent.c_str());
    if (parent.empty()) {
        if (!Quiet) WriteDebugLog(1, "ITEM NOT FOUND IN ANY PROFILE AND IT IS EXCLUDED");
        return SCOPE_EXCLUDED;
    }
    ScanItem parentItem;
    parentItem.fullPath = parent;
    parentItem.type = "ftNA";
    return Classify<Quiet>(parentItem, -1);
}

}  // namespace

bool MatchPathList(const TextList& list, const std::string& path, bool anywhere, int direction) {
    if (g_dwMatchDelay != 0) Sleep(g_dwMatchDelay);
    return ListMatches(list, path, anywhere, direction);
}

int ClassifyItem(const ScanItem& item, int mode) { return Classify<false>(item, mode); }

int ClassifyItemQuietly(const ScanItem& item, int mode) { return Classify<true>(item, mode); }

int IsHiddenFromReport(const ScanItem& item, TextList& suppressed, int mode) {
    const std::string path = ItemPath(item);
    if (mode == 0) {
        if (ClassifyItem(item, -1) == SCOPE_IN_JOB) return 0;
        LogItem(path, " IS IN O PROF; does not appear in report");
        return 1;
    }
    if (MatchPathList(g_cList, path, false, 2)) {
        LogItem(path, " IS Explicitly IN C PROF; does not appear in report");
        if (!IsFile(item)) suppressed.push_back(UpperCase(path));
        return 1;
    }
    size_t slash = path.rfind('\\');
    std::string parent = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    // Only what lies in or below a suppressed folder is hidden. Matching the
    // other way too would hide a new file in any folder above it (C:\ for
    // C:\NEW\), exactly the kind of addition the alert must not miss.
    return !parent.empty() && MatchPathList(suppressed, parent, true, 0) ? 1 : 0;
}

std::string ExtensionOf(const std::string& path) {
    try {
        size_t dot = path.rfind('.');
        if (dot == std::string::npos) return std::string();
        return UpperCase(path.substr(dot + 1));
    } catch (...) {
        WriteDebugLogF(1, "Error getting the extension of %s", path.c_str());
        return std::string();
    }
}
