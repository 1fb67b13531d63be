#include "platform/mail/MailAddress.h"

namespace kv::platform {
namespace {

std::string Trim(const std::string& text) {
    const char* blanks = " \t\r\n";
    size_t begin = text.find_first_not_of(blanks);
    if (begin == std::string::npos) return std::string();
    return text.substr(begin, text.find_last_not_of(blanks) - begin + 1);
}

std::string Unquote(const std::string& text) {
    if (text.size() < 2 || text.front() != '"' || text.back() != '"') return text;
    std::string out;
    for (size_t i = 1; i + 1 < text.size(); ++i) {
        if (text[i] == '\\' && i + 2 < text.size()) ++i;
        out.push_back(text[i]);
    }
    return out;
}

// Splits at separators outside quotes, angle brackets and comments.
std::vector<std::string> SplitItems(const std::string& text) {
    std::vector<std::string> items(1);
    bool quoted = false;
    int angle = 0, comment = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (quoted) {
            items.back().push_back(c);
            if (c == '\\' && i + 1 < text.size()) items.back().push_back(text[++i]);
            else if (c == '"') quoted = false;
            continue;
        }
        if ((c == ',' || c == ';') && angle == 0 && comment == 0) {
            items.emplace_back();
            continue;
        }
        if (c == '"' && comment == 0) quoted = true;
        else if (c == '(') ++comment;
        else if (c == ')' && comment > 0) --comment;
        else if (c == '<' && comment == 0) ++angle;
        else if (c == '>' && angle > 0 && comment == 0) --angle;
        items.back().push_back(c);
    }
    return items;
}

// A bare address without its comments ("a@x (office)" is a@x).
std::string WithoutComments(const std::string& text) {
    std::string out;
    int comment = 0;
    for (char c : text) {
        if (c == '(') ++comment;
        else if (c == ')' && comment > 0) --comment;
        else if (comment == 0) out.push_back(c);
    }
    return Trim(out);
}

}  // namespace

std::vector<MailAddress> ParseAddressList(const std::string& text) {
    std::vector<MailAddress> list;
    for (const std::string& raw : SplitItems(text)) {
        std::string item = Trim(raw);
        if (item.empty()) continue;
        MailAddress address;
        // The last "<" outside quotes opens the address.
        size_t open = std::string::npos;
        bool quoted = false;
        for (size_t i = 0; i < item.size(); ++i) {
            if (item[i] == '\\' && quoted) ++i;
            else if (item[i] == '"') quoted = !quoted;
            else if (item[i] == '<' && !quoted) open = i;
        }
        size_t close = open == std::string::npos ? std::string::npos : item.find('>', open);
        if (close != std::string::npos) {
            address.address = Trim(item.substr(open + 1, close - open - 1));
            address.display = Unquote(Trim(item.substr(0, open)));
        } else {
            address.address = WithoutComments(item);
        }
        if (address.address.empty()) continue;
        list.push_back(std::move(address));
    }
    return list;
}

bool IsValidEnvelopeAddress(const std::string& address) {
    if (address.empty()) return false;
    for (unsigned char c : address)
        if (c <= 0x20 || c == 0x7F || c == '<' || c == '>') return false;
    return true;
}

}  // namespace kv::platform
