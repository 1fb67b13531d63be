#include "platform/root/MachineRoot.h"

#include <cstdlib>

namespace kv::platform {

std::string MachineRoot() {
    const char* root = std::getenv("KESTRAVA_ROOT");
    if (root == nullptr || *root == '\0') return "/var/lib/kestrava";
    std::string path(root);
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

}  // namespace kv::platform
