#include "console/tree/DefaultState.h"

#include <cctype>

#include "common/DebugLog.h"
#include "console/data/Links.h"
#include "console/data/SqlText.h"
#include "console/data/Statements.h"
#include "console/settings/ExtensionList.h"
#include "platform/fs/Attributes.h"
#include "platform/fs/Drives.h"
#include "platform/fs/Find.h"
#include "platform/shell/SpecialFolders.h"
#include "platform/win/LastError.h"

namespace {

// Types this platform runs or loads that carry no type of the built-in list:
// excluding them would hide scripts and libraries from every check.
const char* const kPlatformExecutableTypes[] = {".SH", ".PY", ".PL", ".RB", ".SO", ".KO"};

std::string ReplaceDoubleBackslashes(std::string path) {
    size_t at = 0;
    while ((at = path.find("\\\\", at)) != std::string::npos) path.erase(at, 1);
    return path;
}

bool ListHasEntry(const std::string& list, const std::string& entry) {
    if (list.find(entry + ",") != std::string::npos) return true;
    size_t comma = list.rfind(',');
    std::string last = comma == std::string::npos ? list : list.substr(comma + 1);
    return last == entry;
}

void DefaultWalk(CConsoleData& data, const std::string& folder, bool recurse, std::string& collected) {
    if (!folder.empty() && folder[0] == '.') return;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "*.*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    for (;;) {
        std::string name = found.cFileName;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            if (name != "." && name != "..") {
                if (recurse) {
                    if (name[0] != '.') DefaultWalk(data, folder + name + "\\", true, collected);
                } else {
                    AuxExclFlds(data, folder + "*.*", name, 0);
                }
            }
        } else {
            CollectExtension(name, collected);
        }
        if (!FindNextFileA(search, &found)) {
            // Anything but the end is logged once and ends this folder:
            // retrying the same read would never finish.
            if (GetLastError() != ERROR_NO_MORE_FILES) WriteDebugLog(3, "Couldn't find next file.");
            break;
        }
    }
    if (!FindClose(search)) WriteDebugLog(3, "Couldn't close search handle.");
}

}  // namespace

void CollectExtension(const std::string& fileName, std::string& collected) {
    size_t dot = fileName.rfind('.');
    if (dot == std::string::npos) return;
    std::string extension = fileName.substr(dot);
    for (char& c : extension) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (extension.empty() || extension.size() > 4) return;
    const std::string builtIn = kBuiltInExtensionList;
    if (extension == builtIn.substr(builtIn.rfind('*') + 1)) return;
    if (builtIn.find("*" + extension + ",") != std::string::npos) return;
    for (const char* type : kPlatformExecutableTypes)
        if (extension == type) return;
    // A lone "." names no type.
    if (extension == ".") return;
    if (ListHasEntry(collected, "*" + extension)) return;
    collected += (collected.empty() ? "*" : ",*") + extension;
}

void AuxInsDep(CConsoleData& data, const std::string& path, LONG id) {
    data.ExecuteStatement(FormatSql(SQL_INSERT_LINK, static_cast<int>(id), QuoteSql(path).c_str(),
                                    PathFingerprint(path).c_str()),
                          "Error in AuxInsDep");
}

void AuxDelDep(CConsoleData& data, const std::string& folder) {
    std::string path = ReplaceDoubleBackslashes(folder + "\\");
    data.ExecuteStatement(FormatSql(SQL_DELETE_LINK, QuoteSql(path).c_str()), "Error in AuxDelDep");
}

void AuxExclFlds(CConsoleData& data, const std::string& pattern, const std::string& name, LONG id) {
    if (!name.empty() && name[0] == '.') return;
    std::string base = pattern.size() >= 3 ? pattern.substr(0, pattern.size() - 3) : std::string();
    std::string path = ReplaceDoubleBackslashes(base + name + "\\");
    data.ExecuteStatement(FormatSql(SQL_INSERT_LINK, static_cast<int>(id), QuoteSql(path).c_str(),
                                    PathFingerprint(path).c_str()),
                          "Error in AuxExclFlds");
}

void SetDefaultState(CConsoleData& data) {
    try {
        g_strExtList.clear();
        data.ExecuteStatement(SQL_DELETE_ALL_LINKS, "Error in SetDefaultState");

        char windows[MAX_PATH] = {0};
        char system[MAX_PATH] = {0};
        SHGetSpecialFolderPathA(nullptr, windows, CSIDL_WINDOWS, FALSE);
        SHGetSpecialFolderPathA(nullptr, system, CSIDL_SYSTEM, FALSE);
        const std::string W = windows;
        const std::string S = system;
        const std::string D = W.size() >= 2 ? W.substr(0, 2) + "\\" : std::string("C:\\");

        std::string collected;
        AuxInsDep(data, D, 1);
        DefaultWalk(data, D, false, collected);
        AuxInsDep(data, D + "pagefile.sys", 0);
        AuxDelDep(data, W);
        DefaultWalk(data, W + "\\", false, collected);
        AuxDelDep(data, S);
        DefaultWalk(data, S + "\\", false, collected);
        AuxDelDep(data, S + "\\inetsrv");
        DefaultWalk(data, S + "\\inetsrv\\", true, collected);
        AuxDelDep(data, S + "\\dllcache");
        DefaultWalk(data, S + "\\dllcache\\", false, collected);
        g_strExtList = collected;
        SaveExtensionList();

        const char systemLetter = static_cast<char>(std::toupper(static_cast<unsigned char>(D[0])));
        for (char letter = 'A'; letter <= 'Z'; ++letter) {
            if (letter == systemLetter) continue;
            const std::string root = std::string(1, letter) + ":\\";
            UINT type = GetDriveTypeA(root.c_str());
            if (type == DRIVE_NO_ROOT_DIR || type == DRIVE_REMOTE || type == DRIVE_RAMDISK) continue;
            AuxInsDep(data, root, 0);
        }
    } catch (...) {
        WriteDebugLog(1, "Unexpected error in SetDefaultState");
    }
}
