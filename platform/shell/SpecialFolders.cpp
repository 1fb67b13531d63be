#include "platform/shell/SpecialFolders.h"

#include <cstring>
#include <string>

#include "platform/registry/Registry.h"

namespace {

std::string FolderSetting(const char* name, const char* fallback) {
    HKEY key = nullptr;
    std::string folder = fallback;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, WINDOWS_VERSION_KEY, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return folder;
    char text[MAX_PATH] = {0};
    DWORD size = sizeof text - 1;
    DWORD type = 0;
    if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<LPBYTE>(text), &size) == ERROR_SUCCESS &&
        (type == REG_SZ || type == REG_EXPAND_SZ) && text[0] != '\0')
        folder = text;
    RegCloseKey(key);
    // Windows gives these folders without a trailing backslash.
    while (folder.size() > 3 && folder.back() == '\\') folder.pop_back();
    return folder;
}

UINT CopyOut(const std::string& folder, LPSTR buffer, UINT size) {
    if (buffer == nullptr || folder.size() + 1 > size) return static_cast<UINT>(folder.size() + 1);
    std::memcpy(buffer, folder.c_str(), folder.size() + 1);
    return static_cast<UINT>(folder.size());
}

}  // namespace

UINT GetWindowsDirectoryA(LPSTR buffer, UINT size) {
    return CopyOut(FolderSetting("SystemRoot", DEFAULT_WINDOWS_FOLDER), buffer, size);
}

UINT GetSystemDirectoryA(LPSTR buffer, UINT size) {
    return CopyOut(FolderSetting("SystemDirectory", DEFAULT_SYSTEM_FOLDER), buffer, size);
}

BOOL SHGetSpecialFolderPathA(HWND, LPSTR path, int csidl, BOOL) {
    if (path == nullptr) return FALSE;
    path[0] = '\0';
    UINT n = 0;
    if (csidl == CSIDL_WINDOWS)
        n = GetWindowsDirectoryA(path, MAX_PATH);
    else if (csidl == CSIDL_SYSTEM)
        n = GetSystemDirectoryA(path, MAX_PATH);
    else
        return FALSE;
    if (n == 0 || n >= MAX_PATH) {
        path[0] = '\0';
        return FALSE;
    }
    return TRUE;
}
