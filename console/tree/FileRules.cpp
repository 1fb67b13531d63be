#include "console/tree/FileRules.h"

#include <cstring>

#include "console/settings/ExtensionList.h"
#include "platform/fs/Attributes.h"
#include "platform/win/LastError.h"

namespace {

std::string Lower(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

std::string Upper(std::string text) {
    for (char& c : text)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return text;
}

bool FindLink(const CConsoleData& data, const std::string& lowerPath, LONG& id) {
    for (const CLinkEntry& link : data.m_links) {
        if (link.path == lowerPath) {
            id = link.id;
            return true;
        }
    }
    return false;
}

// A drive root is always listed; any other folder is refused when it is
// where another file system is mounted, so a drive mapped to / never shows
// /proc or /sys.
bool IsForeignMountPoint(const std::string& folder) {
    std::string path = folder;
    while (!path.empty() && path.back() == '\\') path.pop_back();
    if (path.size() <= 2) return false;
    WIN32_FIND_DATAA data{};
    HANDLE find = FindFirstFileA(path.c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return false;
    FindClose(find);
    return (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 &&
           data.dwReserved0 == IO_REPARSE_TAG_MOUNT_POINT;
}

}  // namespace

LONG GetEffectiveProfile(const CConsoleData& data, const std::string& path) {
    std::string look = Lower(path);
    std::string previous;
    for (;;) {
        LONG id = 0;
        if (FindLink(data, look, id)) return id;
        previous = look;
        if (!look.empty() && look.back() == '\\') look.pop_back();
        size_t slash = look.rfind('\\');
        if (slash != std::string::npos) {
            look = look.substr(0, slash) + "\\";
        } else if (look.size() == 2) {
            look += "\\";
        } else {
            return 0;
        }
        // "x:\" cut back gives "x:\" again: the drive root was the last look.
        if (look == previous) return 0;
    }
}

BOOL IsExcludedName(const std::string& name) { return IsExcludedName(name, g_strExtList); }

BOOL IsExcludedName(const std::string& name, const std::string& list) {
    if (list.empty()) return FALSE;
    if (list.find("*.*") != std::string::npos) return TRUE;
    size_t dot = name.rfind('.');
    // Without a dot the name has no extension ("*.VOID"); reading the whole
    // name as its extension would make "*.VOID" match nothing.
    std::string extension = dot == std::string::npos ? std::string() : Upper(name.substr(dot));
    if (extension.empty()) return list.find("*.VOID") != std::string::npos ? TRUE : FALSE;
    if (extension.size() > 4) return FALSE;
    const std::string entry = "*" + extension;
    if (list == entry) return TRUE;
    size_t lastComma = list.rfind(',');
    if (lastComma != std::string::npos && list.compare(lastComma + 1, std::string::npos, entry) == 0) return TRUE;
    size_t at = list.find(entry + ",");
    // An entry starts the list or follows a comma: "*.LOG," must not match
    // inside "*.XLOG,".
    while (at != std::string::npos) {
        if (at == 0 || list[at - 1] == ',') return TRUE;
        at = list.find(entry + ",", at + 1);
    }
    return FALSE;
}

BOOL ListFolder(const std::string& folder, const std::function<void(const WIN32_FIND_DATAA&)>& entry,
                bool hideExcluded) {
    if (IsForeignMountPoint(folder)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    WIN32_FIND_DATAA data{};
    HANDLE find = FindFirstFileA((folder + "*.*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) {
        // An empty drive root has nothing to match.
        return GetLastError() == ERROR_FILE_NOT_FOUND ? TRUE : FALSE;
    }
    do {
        const char* name = data.cFileName;
        if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) continue;
        if (!kv::platform::IsRepresentableName(name)) continue;
        if (hideExcluded && IsExcludedName(name)) continue;
        entry(data);
    } while (FindNextFileA(find, &data));
    DWORD error = GetLastError();
    FindClose(find);
    if (error != ERROR_NO_MORE_FILES) {
        SetLastError(error);
        return FALSE;
    }
    return TRUE;
}
