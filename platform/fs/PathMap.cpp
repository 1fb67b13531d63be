#include "platform/fs/PathMap.h"

#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include <cctype>

#include "platform/fs/internal/Resolve.h"
#include "platform/root/MachineRoot.h"

namespace kv::platform {
namespace {

std::string Trimmed(std::string path) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

std::string BackslashesToSlashes(std::string path) {
    for (char& c : path)
        if (c == '\\') c = '/';
    return path;
}

}  // namespace

std::string DriveTarget(char letter) {
    if (!std::isalpha(static_cast<unsigned char>(letter))) return std::string();
    std::string link = MachineRoot() + "/dosdevices/" +
                       static_cast<char>(std::tolower(static_cast<unsigned char>(letter))) + ":";
    char target[PATH_MAX];
    ssize_t n = ::readlink(link.c_str(), target, sizeof target - 1);
    if (n <= 0) return std::string();
    target[n] = '\0';
    std::string path(target);
    if (path[0] != '/') {
        // A relative link is relative to the dosdevices folder, as Wine reads it.
        path = MachineRoot() + "/dosdevices/" + path;
    }
    return Trimmed(path);
}

namespace {

std::string MappedPath(const std::string& target, const std::string& below) {
    std::string rest = BackslashesToSlashes(below);
    if (rest.empty() || rest[0] != '/') rest = "/" + rest;
    if (target == "/") return rest;
    return rest == "/" ? target : target + rest;
}

}  // namespace

std::string ToPosixPath(const std::string& windowsPath) {
    if (windowsPath.size() >= 2 && windowsPath[1] == ':' &&
        std::isalpha(static_cast<unsigned char>(windowsPath[0]))) {
        std::string target = DriveTarget(windowsPath[0]);
        if (target.empty()) return std::string();
        std::string posix = MappedPath(target, windowsPath.substr(2));
        struct stat info {};
        if (::lstat(posix.c_str(), &info) == 0 || errno != ENOENT) return posix;
        // The same case-insensitive look-up as every open of the path.
        fsdetail::SplitPath split;
        DWORD error = ERROR_SUCCESS;
        if (fsdetail::Split(windowsPath, split, error) && fsdetail::ResolveCase(split))
            return MappedPath(target, split.relative);
        return posix;
    }
    std::string posix = BackslashesToSlashes(windowsPath);
    struct stat info {};
    if (posix.empty() || posix[0] != '/' || ::lstat(posix.c_str(), &info) == 0 || errno != ENOENT) return posix;
    fsdetail::SplitPath split;
    DWORD error = ERROR_SUCCESS;
    if (fsdetail::Split(windowsPath, split, error) && fsdetail::ResolveCase(split)) return "/" + split.relative;
    return posix;
}

std::string ToWindowsPath(const std::string& posixPath) {
    std::string best;
    size_t bestLength = 0;
    char bestLetter = 0;
    for (char letter = 'a'; letter <= 'z'; ++letter) {
        std::string target = DriveTarget(letter);
        if (target.empty()) continue;
        bool holds = target == "/" ||
                     (posixPath.compare(0, target.size(), target) == 0 &&
                      (posixPath.size() == target.size() || posixPath[target.size()] == '/'));
        size_t length = target == "/" ? 0 : target.size();
        if (holds && (bestLetter == 0 || length > bestLength)) {
            bestLetter = letter;
            bestLength = length;
        }
    }
    if (bestLetter == 0) {
        // No drive holds it: keep the POSIX path, in the separators the
        // system's path code looks for.
        std::string rooted = posixPath;
        for (char& c : rooted)
            if (c == '/') c = '\\';
        return rooted;
    }
    std::string rest = posixPath.substr(bestLength);
    for (char& c : rest)
        if (c == '/') c = '\\';
    best.push_back(static_cast<char>(std::toupper(static_cast<unsigned char>(bestLetter))));
    best.push_back(':');
    if (rest.empty()) best.push_back('\\');
    else best.append(rest);
    return best;
}

}  // namespace kv::platform
