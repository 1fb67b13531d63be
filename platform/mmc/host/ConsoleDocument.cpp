#include "platform/mmc/host/ConsoleDocument.h"

#include <strings.h>

#include <fstream>
#include <sstream>

namespace kv::mmc {

namespace {

std::string Trim(const std::string& text) {
    size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) return std::string();
    size_t last = text.find_last_not_of(" \t\r\n");
    return text.substr(first, last - first + 1);
}

}  // namespace

bool ParseConsoleDocument(const std::string& text, ConsoleDocument* document, std::string* error) {
    ConsoleDocument parsed;
    bool haveSnapin = false;
    std::istringstream lines(text);
    std::string line;
    int number = 0;
    while (std::getline(lines, line)) {
        ++number;
        if (number == 1 && line.rfind("\xEF\xBB\xBF", 0) == 0) line.erase(0, 3);
        std::string trimmed = Trim(line);
        if (trimmed.empty() || trimmed[0] == '#') continue;
        size_t equals = trimmed.find('=');
        if (equals == std::string::npos) {
            *error = "line " + std::to_string(number) + " is not Name=Value";
            return false;
        }
        std::string name = Trim(trimmed.substr(0, equals));
        std::string value = Trim(trimmed.substr(equals + 1));
        if (strcasecmp(name.c_str(), "SnapIn") == 0) {
            if (haveSnapin) continue;  // one snap-in per console: the first one
            if (!kv::platform::GuidFromText(value, &parsed.snapin)) {
                *error = "line " + std::to_string(number) + ": \"" + value + "\" is not a class identifier in braces";
                return false;
            }
            haveSnapin = true;
        } else if (strcasecmp(name.c_str(), "Title") == 0) {
            parsed.title = value;
        }
        // Other names belong to newer documents; they are left alone.
    }
    if (!haveSnapin) {
        *error = "the document names no snap-in (SnapIn={...})";
        return false;
    }
    *document = parsed;
    return true;
}

bool ReadConsoleDocument(const std::string& path, ConsoleDocument* document, std::string* error) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        *error = "cannot read " + path;
        return false;
    }
    std::ostringstream text;
    text << file.rdbuf();
    // A console document is a few lines; anything large is not one.
    if (text.str().size() > 65536) {
        *error = path + " is too large to be a console document";
        return false;
    }
    if (!ParseConsoleDocument(text.str(), document, error)) {
        *error = path + ": " + *error;
        return false;
    }
    return true;
}

}  // namespace kv::mmc
