#include "platform/taskscheduler/internal/PowerSupply.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

namespace kv::platform::taskscheduler {
namespace {

std::string ReadWord(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return std::string();
    char buffer[64];
    ssize_t n = ::read(fd, buffer, sizeof buffer - 1);
    ::close(fd);
    if (n <= 0) return std::string();
    std::string word(buffer, static_cast<size_t>(n));
    while (!word.empty() && (word.back() == '\n' || word.back() == ' ')) word.pop_back();
    return word;
}

}  // namespace

bool OnBatteries() {
    const char* configured = std::getenv("KESTRAVA_POWER_SUPPLY");
    std::string folder = configured != nullptr && *configured != '\0' ? configured : "/sys/class/power_supply";
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) return false;
    bool discharging = false, mains = false;
    while (struct dirent* entry = ::readdir(dir)) {
        if (entry->d_name[0] == '.') continue;
        std::string supply = folder + "/" + entry->d_name;
        std::string type = ReadWord(supply + "/type");
        if (type == "Battery") {
            if (ReadWord(supply + "/status") == "Discharging") discharging = true;
        } else if (!type.empty() && ReadWord(supply + "/online") == "1") {
            mains = true;
        }
    }
    ::closedir(dir);
    return discharging && !mains;
}

}  // namespace kv::platform::taskscheduler
