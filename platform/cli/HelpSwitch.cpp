#include "platform/cli/HelpSwitch.h"

#include <cstring>

namespace kv::platform {

bool IsHelpArgument(const char* argument) {
    return std::strcmp(argument, "--help") == 0 || std::strcmp(argument, "-h") == 0 ||
           std::strcmp(argument, "/?") == 0 || std::strcmp(argument, "-?") == 0;
}

bool HelpRequested(int argc, char** argv) {
    return argc > 1 && IsHelpArgument(argv[1]);
}

}  // namespace kv::platform
