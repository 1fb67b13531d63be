#include "platform/mail/MimeMessage.h"

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <random>

#include "platform/system/SystemInfo.h"

namespace kv::platform {
namespace {

const char kBase64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

std::string Base64(const std::string& bytes) {
    std::string out;
    for (size_t i = 0; i < bytes.size(); i += 3) {
        uint32_t n = static_cast<unsigned char>(bytes[i]) << 16;
        if (i + 1 < bytes.size()) n |= static_cast<unsigned char>(bytes[i + 1]) << 8;
        if (i + 2 < bytes.size()) n |= static_cast<unsigned char>(bytes[i + 2]);
        out.push_back(kBase64[(n >> 18) & 63]);
        out.push_back(kBase64[(n >> 12) & 63]);
        out.push_back(i + 1 < bytes.size() ? kBase64[(n >> 6) & 63] : '=');
        out.push_back(i + 2 < bytes.size() ? kBase64[n & 63] : '=');
    }
    return out;
}

bool NeedsEncoding(const std::string& text) {
    if (text.find("=?") != std::string::npos || text.size() > 900) return true;
    for (unsigned char c : text)
        if (c >= 0x7F || (c < 0x20 && c != '\t')) return true;
    return false;
}

// A display name as a word, a quoted string or encoded words.
std::string FormatDisplayName(const std::string& name) {
    if (NeedsEncoding(name)) return EncodeHeaderText(name);
    bool special = false;
    for (char c : name)
        if (std::string("()<>[]:;@\\,.\"").find(c) != std::string::npos) special = true;
    if (!special) return name;
    std::string quoted = "\"";
    for (char c : name) {
        if (c == '"' || c == '\\') quoted.push_back('\\');
        quoted.push_back(c);
    }
    return quoted + "\"";
}

}  // namespace

std::string Rfc5322Date(time_t when) {
    static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    tm local{};
    ::localtime_r(&when, &local);
    long offset = local.tm_gmtoff / 60;
    char sign = offset < 0 ? '-' : '+';
    if (offset < 0) offset = -offset;
    char text[64];
    std::snprintf(text, sizeof text, "%s, %02d %s %04d %02d:%02d:%02d %c%02ld%02ld", kDays[local.tm_wday],
                  local.tm_mday, kMonths[local.tm_mon], local.tm_year + 1900, local.tm_hour, local.tm_min,
                  local.tm_sec, sign, offset / 60, offset % 60);
    return text;
}

std::string NewMessageId(const std::string& domain) {
    static std::atomic<unsigned> counter{0};
    static const uint64_t salt = [] {
        std::random_device device;
        return (static_cast<uint64_t>(device()) << 32) | device();
    }();
    auto micros = std::chrono::duration_cast<std::chrono::microseconds>(
                      std::chrono::system_clock::now().time_since_epoch())
                      .count();
    char text[128];
    std::snprintf(text, sizeof text, "%llx.%x.%x.%llx", static_cast<unsigned long long>(micros),
                  static_cast<unsigned>(::getpid()), counter.fetch_add(1) + 1,
                  static_cast<unsigned long long>(salt));
    return "<" + std::string(text) + "@" + domain + ">";
}

std::string EncodeHeaderText(const std::string& text) {
    if (!NeedsEncoding(text)) return text;
    // 39 bytes make 52 base64 characters: an encoded word of 64 characters,
    // which leaves room for the header name on the first line.
    std::string out;
    for (size_t i = 0; i < text.size();) {
        size_t end = std::min(text.size(), i + 39);
        // Never split a UTF-8 sequence between two words.
        while (end < text.size() && end > i + 1 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
        if (!out.empty()) out += "\r\n ";
        out += "=?utf-8?B?" + Base64(text.substr(i, end - i)) + "?=";
        i = end;
    }
    return out;
}

std::string FormatAddressList(const std::vector<MailAddress>& list) {
    std::string out;
    size_t lineLength = 4;  // room for the header's name
    for (const MailAddress& a : list) {
        std::string item = a.display.empty() ? a.address : FormatDisplayName(a.display) + " <" + a.address + ">";
        if (!out.empty()) {
            out += ",";
            if (lineLength + item.size() + 2 > 76) {
                out += "\r\n ";
                lineLength = 1;
            } else {
                out += " ";
                lineLength += 2;
            }
        }
        out += item;
        size_t lastBreak = item.rfind('\n');
        lineLength = lastBreak == std::string::npos ? lineLength + item.size() : item.size() - lastBreak;
    }
    return out;
}

std::string ToCrLf(const std::string& text) {
    std::string out;
    out.reserve(text.size() + text.size() / 16);
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '\r') {
            out += "\r\n";
            if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
        } else if (c == '\n') {
            out += "\r\n";
        } else {
            out.push_back(c);
        }
    }
    return out;
}

std::string QuotedPrintable(const std::string& crlfText) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    size_t start = 0;
    while (start <= crlfText.size()) {
        size_t end = crlfText.find("\r\n", start);
        bool last = end == std::string::npos;
        if (last) end = crlfText.size();
        std::string line;
        size_t column = 0;
        for (size_t i = start; i < end; ++i) {
            unsigned char c = static_cast<unsigned char>(crlfText[i]);
            bool trailingBlank = (c == ' ' || c == '\t') && i + 1 == end;
            std::string piece;
            if ((c >= 33 && c <= 126 && c != '=') || ((c == ' ' || c == '\t') && !trailingBlank)) {
                piece.push_back(static_cast<char>(c));
            } else {
                piece = {'=', kHex[c >> 4], kHex[c & 15]};
            }
            // Encoded lines stay within 76 characters, the soft break's "=" included.
            if (column + piece.size() > 75) {
                line += "=\r\n";
                column = 0;
            }
            line += piece;
            column += piece.size();
        }
        out += line;
        if (last) break;
        out += "\r\n";
        start = end + 2;
    }
    return out;
}

std::string ComposeMessage(const MimeParts& parts) {
    std::string domain;
    if (!parts.from.empty()) {
        size_t at = parts.from.front().address.rfind('@');
        if (at != std::string::npos) domain = parts.from.front().address.substr(at + 1);
    }
    if (domain.empty()) {
        char name[64] = {};
        DWORD size = sizeof name;
        domain = GetComputerNameA(name, &size) ? name : "localhost";
    }
    std::string body = ToCrLf(parts.body);
    bool ascii = true, shortLines = true;
    for (unsigned char c : body)
        if (c >= 0x80 || c == 0) ascii = false;
    for (size_t start = 0; start < body.size();) {
        size_t end = body.find("\r\n", start);
        if (end == std::string::npos) end = body.size();
        if (end - start > 998) shortLines = false;
        start = end + 2;
    }
    bool plain = ascii && shortLines;
    std::string text;
    text += "Date: " + Rfc5322Date(std::time(nullptr)) + "\r\n";
    text += "Message-ID: " + NewMessageId(domain) + "\r\n";
    text += "From: " + FormatAddressList(parts.from) + "\r\n";
    text += "To: " + FormatAddressList(parts.to) + "\r\n";
    text += "Subject: " + EncodeHeaderText(parts.subject) + "\r\n";
    text += "MIME-Version: 1.0\r\n";
    text += "Content-Type: text/plain; charset=utf-8\r\n";
    text += std::string("Content-Transfer-Encoding: ") + (plain ? "7bit" : "quoted-printable") + "\r\n";
    text += "\r\n";
    text += plain ? body : QuotedPrintable(body);
    // Every line of a message ends with CR LF, the last one too.
    if (text.size() < 2 || text.compare(text.size() - 2, 2, "\r\n") != 0) text += "\r\n";
    return text;
}

}  // namespace kv::platform
