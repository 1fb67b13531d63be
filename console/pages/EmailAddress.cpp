#include "console/pages/EmailAddress.h"

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// Codes from 32 up as a signed byte: nothing above 127 is printable here,
// so an address never carries text the mail server might read otherwise.
bool IsPrintable(char c) { return static_cast<signed char>(c) >= 32; }

bool IsLocalPartChar(char c) { return IsPrintable(c) && c != '@' && c != ',' && c != ';'; }

bool IsLetterOrDigit(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

// Parses one address from pos; true with pos past it.
bool ParseAddress(const std::string& text, size_t& pos) {
    const size_t n = text.size();
    size_t i = pos;
    if (i < n && text[i] == '"') {
        ++i;
        const size_t begin = i;
        while (i < n && text[i] != '"' && IsLocalPartChar(text[i])) ++i;
        if (i == begin || i >= n || text[i] != '"') return false;
        ++i;
    } else {
        const size_t begin = i;
        while (i < n && IsLocalPartChar(text[i])) ++i;
        if (i == begin) return false;
    }
    if (i >= n || text[i] != '@') return false;
    ++i;
    // Labels of letters and digits joined by "-" or ".".
    if (i >= n || !IsLetterOrDigit(text[i])) return false;
    while (i < n) {
        if (IsLetterOrDigit(text[i])) {
            ++i;
        } else if (text[i] == '-') {
            if (i + 1 >= n || !IsLetterOrDigit(text[i + 1])) return false;
            ++i;
        } else if (text[i] == '.') {
            // A dot with no label after it is not part of the domain.
            if (i + 1 >= n || !IsLetterOrDigit(text[i + 1])) break;
            ++i;
        } else {
            break;
        }
    }
    pos = i;
    return true;
}

// One address (or, when emptyAllowed, nothing) between blanks in [begin, end).
bool IsItem(const std::string& text, size_t begin, size_t end, bool emptyAllowed) {
    while (begin < end && IsBlank(text[begin])) ++begin;
    while (end > begin && IsBlank(text[end - 1])) --end;
    if (begin == end) return emptyAllowed;
    const std::string item = text.substr(begin, end - begin);
    size_t pos = 0;
    return ParseAddress(item, pos) && pos == item.size();
}

}  // namespace

bool IsSingleEmailAddress(const std::string& text) { return IsItem(text, 0, text.size(), false); }

bool IsEmailAddressList(const std::string& text) {
    size_t begin = 0;
    for (size_t i = 0; i <= text.size(); ++i) {
        if (i == text.size() || text[i] == ';' || text[i] == ',') {
            if (!IsItem(text, begin, i, true)) return false;
            begin = i + 1;
        }
    }
    return true;
}
