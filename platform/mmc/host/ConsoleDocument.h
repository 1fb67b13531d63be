// The console document (".msc"): which snap-in the console opens, and its
// window title. Plain text, one "Name=Value" per line; "#" starts a comment
// line; names compare without regard to case.
//     SnapIn={CLSID of the snap-in's ComponentData}
//     Title=Text of the console's title bar (optional)
#pragma once

#include <string>

#include "platform/com/Guid.h"

namespace kv::mmc {

struct ConsoleDocument {
    CLSID snapin{};
    std::string title;
};

// False with a reason for the user when the file cannot be read or names no
// snap-in.
bool ReadConsoleDocument(const std::string& path, ConsoleDocument* document, std::string* error);
bool ParseConsoleDocument(const std::string& text, ConsoleDocument* document, std::string* error);

}  // namespace kv::mmc
