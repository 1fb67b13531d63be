#include "platform/fs/Drives.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <string>

#include "platform/fs/MountTable.h"
#include "platform/fs/PathMap.h"
#include "platform/fs/internal/Resolve.h"
#include "platform/root/MachineRoot.h"
#include "platform/win/LastError.h"

namespace {

std::mutex g_currentLock;
std::string g_current;  // empty until set or first read

std::string CurrentLocked() {
    if (g_current.empty()) {
        char buffer[4096];
        std::string cwd = ::getcwd(buffer, sizeof buffer) != nullptr ? buffer : "/";
        g_current = kv::platform::ToWindowsPath(cwd);
    }
    return g_current;
}

bool HasLink(char letter) {
    std::string link = kv::platform::MachineRoot() + "/dosdevices/" +
                       static_cast<char>(std::tolower(static_cast<unsigned char>(letter))) + ":";
    struct stat info {};
    return ::lstat(link.c_str(), &info) == 0 && S_ISLNK(info.st_mode);
}

DWORD CopyOut(const std::string& text, DWORD bufferLength, LPSTR buffer) {
    if (buffer == nullptr || bufferLength < text.size() + 1) return static_cast<DWORD>(text.size() + 1);
    std::memcpy(buffer, text.data(), text.size());
    buffer[text.size()] = '\0';
    return static_cast<DWORD>(text.size());
}

}  // namespace

DWORD GetLogicalDrives() {
    DWORD mask = 0;
    for (int i = 0; i < 26; ++i)
        if (HasLink(static_cast<char>('a' + i))) mask |= 1u << i;
    return mask;
}

DWORD GetLogicalDriveStringsA(DWORD bufferLength, LPSTR buffer) {
    std::string text;
    DWORD mask = GetLogicalDrives();
    for (int i = 0; i < 26; ++i)
        if (mask & (1u << i)) {
            text.push_back(static_cast<char>('A' + i));
            text.append(":\\");
            text.push_back('\0');
        }
    // The final null comes from CopyOut.
    return CopyOut(text, bufferLength, buffer);
}

UINT GetDriveTypeA(LPCSTR rootPathName) {
    std::string root;
    if (rootPathName == nullptr) {
        std::lock_guard<std::mutex> hold(g_currentLock);
        root = CurrentLocked().substr(0, 2);
    } else {
        root = rootPathName;
    }
    if (root.size() < 2 || root.size() > 3 || root[1] != ':' ||
        !std::isalpha(static_cast<unsigned char>(root[0])) ||
        (root.size() == 3 && root[2] != '\\' && root[2] != '/'))
        return DRIVE_NO_ROOT_DIR;
    std::string target = kv::platform::DriveTarget(root[0]);
    if (target.empty()) return DRIVE_NO_ROOT_DIR;
    struct stat info {};
    if (::stat(target.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) return DRIVE_NO_ROOT_DIR;
    std::vector<kv::platform::MountEntry> table = kv::platform::ReadMountTable();
    const kv::platform::MountEntry* mount = kv::platform::MountHolding(table, target);
    if (mount == nullptr) return DRIVE_UNKNOWN;
    return kv::platform::DriveTypeOfMount(*mount);
}

BOOL SetCurrentDirectoryA(LPCSTR pathName) {
    if (pathName == nullptr || *pathName == '\0') {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::string path(pathName);
    std::string current;
    {
        std::lock_guard<std::mutex> hold(g_currentLock);
        current = CurrentLocked();
    }
    if (path.size() == 2 && path[1] == ':' && std::isalpha(static_cast<unsigned char>(path[0]))) {
        char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(path[0])));
        bool sameDrive = current.size() >= 2 && current[1] == ':' &&
                         std::toupper(static_cast<unsigned char>(current[0])) == letter;
        path = sameDrive ? current : std::string(1, letter) + ":\\";
    } else if (!(path.size() >= 2 && path[1] == ':') && path[0] != '/' && path[0] != '\\') {
        path = current + (current.back() == '\\' ? "" : "\\") + path;
    }
    kv::platform::fsdetail::SplitPath split;
    DWORD error = ERROR_SUCCESS;
    if (!kv::platform::fsdetail::Split(path, split, error)) {
        SetLastError(error);
        return FALSE;
    }
    int fd = kv::platform::fsdetail::Open(split, O_PATH, error);
    if (fd < 0) {
        SetLastError(error);
        return FALSE;
    }
    struct stat info {};
    bool folder = ::fstat(fd, &info) == 0 && S_ISDIR(info.st_mode);
    // Entering needs search permission, as chdir would.
    bool enter = folder && (::faccessat(fd, "", X_OK, AT_EMPTY_PATH) == 0 || errno == EINVAL);
    int saved = errno;
    ::close(fd);
    if (!folder) {
        SetLastError(ERROR_DIRECTORY);
        return FALSE;
    }
    if (!enter) {
        SetLastError(kv::platform::fsdetail::ErrorFromErrno(saved));
        return FALSE;
    }
    // Kept in the form given, without a final "\" except at a drive root.
    while (path.size() > 3 && (path.back() == '\\' || path.back() == '/')) path.pop_back();
    if (path.size() == 2 && path[1] == ':') path += "\\";
    if (path.size() >= 2 && path[1] == ':')
        path[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(path[0])));
    std::lock_guard<std::mutex> hold(g_currentLock);
    g_current = path;
    return TRUE;
}

DWORD GetCurrentDirectoryA(DWORD bufferLength, LPSTR buffer) {
    std::lock_guard<std::mutex> hold(g_currentLock);
    return CopyOut(CurrentLocked(), bufferLength, buffer);
}
