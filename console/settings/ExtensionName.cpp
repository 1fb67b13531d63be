#include "console/settings/ExtensionName.h"

#include <cctype>
#include <cstring>

bool CleanExtension(std::string& text) {
    size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return false;
    size_t last = text.find_last_not_of(" \t");
    std::string clean = text.substr(first, last - first + 1);
    if (clean.compare(0, 2, "*.") == 0) clean.erase(0, 2);
    else if (clean[0] == '.') clean.erase(0, 1);
    if (clean.empty()) return false;
    for (char c : clean) {
        unsigned char u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F || std::strchr(".*?;\\/:\"<>|", c) != nullptr) return false;
    }
    for (char& c : clean) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    text = clean;
    return true;
}
