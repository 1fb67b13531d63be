#include "engine/scope/ScopeLists.h"

#include <algorithm>

TextList g_cList;
TextList g_oList;
TextList g_excludedExtensions;
TextList g_oldExcludedExtensions;
DWORD g_dwMatchDelay = 1;

std::string UpperCase(const std::string& text) {
    std::string upper = text;
    for (char& c : upper)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return upper;
}

bool ListHolds(const TextList& list, const std::string& text) {
    return std::find(list.begin(), list.end(), text) != list.end();
}
