#include "platform/root/MachineRoot.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>

namespace kv::platform {

std::string MachineRoot() {
    const char* root = std::getenv("KESTRAVA_ROOT");
    if (root == nullptr || *root == '\0') return "/var/lib/kestrava";
    std::string path(root);
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

bool MachineRootExists() {
    struct stat info {};
    return ::stat(MachineRoot().c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool RequireMachineRoot(const char* program) {
    if (MachineRootExists()) return true;
    std::fprintf(stderr,
                 "%s: the machine root %s does not exist; nothing was changed. Install first, or set "
                 "KESTRAVA_ROOT to an installed root.\n",
                 program, MachineRoot().c_str());
    return false;
}

}  // namespace kv::platform
