#include "platform/eventlog/EventRecord.h"

#include "platform/text/CodePage.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "platform/eventlog/EventLog.h"
#include "platform/root/MachineRoot.h"

namespace kv::platform {
namespace {

// Length of the valid UTF-8 sequence at text[i], 0 when the byte there does
// not start one (overlong forms, surrogates and code points past U+10FFFF are
// not valid).
size_t Utf8SequenceLength(const std::string& text, size_t i) {
    auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
    unsigned char b = byte(i);
    size_t length;
    uint32_t cp;
    if (b < 0x80) return 1;
    if (b >= 0xC2 && b <= 0xDF) length = 2, cp = b & 0x1F;
    else if (b >= 0xE0 && b <= 0xEF) length = 3, cp = b & 0x0F;
    else if (b >= 0xF0 && b <= 0xF4) length = 4, cp = b & 0x07;
    else return 0;
    if (i + length > text.size()) return 0;
    for (size_t k = 1; k < length; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (byte(i + k) & 0x3F);
    }
    if ((length == 3 && cp < 0x800) || (length == 4 && (cp < 0x10000 || cp > 0x10FFFF))) return 0;
    if (cp >= 0xD800 && cp <= 0xDFFF) return 0;
    return length;
}


// A small reader for the records' JSON: objects, arrays, strings, integers
// and the literals.
class JsonReader {
public:
    explicit JsonReader(const std::string& text) : m_text(text) {}

    void SkipBlanks() {
        while (m_pos < m_text.size() && std::strchr(" \t\r\n", m_text[m_pos]) && m_text[m_pos] != '\0') ++m_pos;
    }
    bool Consume(char c) {
        SkipBlanks();
        if (m_pos < m_text.size() && m_text[m_pos] == c) {
            ++m_pos;
            return true;
        }
        return false;
    }
    bool Peek(char c) {
        SkipBlanks();
        return m_pos < m_text.size() && m_text[m_pos] == c;
    }
    bool AtEnd() {
        SkipBlanks();
        return m_pos == m_text.size();
    }

    bool String(std::string& out) {
        out.clear();
        if (!Consume('"')) return false;
        while (m_pos < m_text.size()) {
            char c = m_text[m_pos++];
            if (c == '"') return true;
            if (static_cast<unsigned char>(c) < 0x20) return false;
            if (c != '\\') {
                out.push_back(c);
                continue;
            }
            if (m_pos >= m_text.size()) return false;
            char e = m_text[m_pos++];
            switch (e) {
                case '"': out.push_back('"'); break;
                case '\\': out.push_back('\\'); break;
                case '/': out.push_back('/'); break;
                case 'b': out.push_back('\b'); break;
                case 'f': out.push_back('\f'); break;
                case 'n': out.push_back('\n'); break;
                case 'r': out.push_back('\r'); break;
                case 't': out.push_back('\t'); break;
                case 'u': {
                    uint32_t unit = 0;
                    if (!Hex4(unit)) return false;
                    if (unit >= 0xD800 && unit <= 0xDBFF && m_text.compare(m_pos, 2, "\\u") == 0) {
                        size_t saved = m_pos;
                        m_pos += 2;
                        uint32_t low = 0;
                        if (Hex4(low) && low >= 0xDC00 && low <= 0xDFFF) {
                            kv::platform::AppendUtf8(static_cast<char32_t>(0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00)), out);
                            break;
                        }
                        m_pos = saved;
                    }
                    if (unit >= 0xDC80 && unit <= 0xDCFF) out.push_back(static_cast<char>(unit & 0xFF));
                    else if (unit >= 0xD800 && unit <= 0xDFFF) kv::platform::AppendUtf8(static_cast<char32_t>(0xFFFD), out);
                    else kv::platform::AppendUtf8(static_cast<char32_t>(unit), out);
                    break;
                }
                default: return false;
            }
        }
        return false;
    }

    bool Integer(long long& value) {
        SkipBlanks();
        size_t start = m_pos;
        if (m_pos < m_text.size() && m_text[m_pos] == '-') ++m_pos;
        while (m_pos < m_text.size() && m_text[m_pos] >= '0' && m_text[m_pos] <= '9') ++m_pos;
        if (m_pos == start) return false;
        // Fractions and exponents are read over; the records hold none.
        while (m_pos < m_text.size() && std::strchr(".eE+-0123456789", m_text[m_pos]) && m_text[m_pos] != '\0')
            ++m_pos;
        value = std::strtoll(m_text.c_str() + start, nullptr, 10);
        return true;
    }

    bool Skip() {
        SkipBlanks();
        if (m_pos >= m_text.size()) return false;
        char c = m_text[m_pos];
        std::string ignored;
        long long number = 0;
        if (c == '"') return String(ignored);
        if (c == '{' || c == '[') {
            char close = c == '{' ? '}' : ']';
            ++m_pos;
            if (Consume(close)) return true;
            do {
                if (c == '{' && (!String(ignored) || !Consume(':'))) return false;
                if (!Skip()) return false;
            } while (Consume(','));
            return Consume(close);
        }
        for (const char* literal : {"true", "false", "null"}) {
            if (m_text.compare(m_pos, std::strlen(literal), literal) == 0) {
                m_pos += std::strlen(literal);
                return true;
            }
        }
        return Integer(number);
    }

private:
    bool Hex4(uint32_t& value) {
        if (m_pos + 4 > m_text.size()) return false;
        value = 0;
        for (int k = 0; k < 4; ++k) {
            char h = m_text[m_pos++];
            value <<= 4;
            if (h >= '0' && h <= '9') value |= h - '0';
            else if (h >= 'a' && h <= 'f') value |= h - 'a' + 10;
            else if (h >= 'A' && h <= 'F') value |= h - 'A' + 10;
            else return false;
        }
        return true;
    }

    const std::string& m_text;
    size_t m_pos = 0;
};

int HexValue(char h) {
    if (h >= '0' && h <= '9') return h - '0';
    if (h >= 'a' && h <= 'f') return h - 'a' + 10;
    if (h >= 'A' && h <= 'F') return h - 'A' + 10;
    return -1;
}

}  // namespace

std::string EventLogFile() { return MachineRoot() + "/eventlog/Application.log"; }

std::string JsonQuote(const std::string& bytes) {
    std::string out = "\"";
    char escape[8];
    for (size_t i = 0; i < bytes.size();) {
        unsigned char c = static_cast<unsigned char>(bytes[i]);
        if (c >= 0x80) {
            size_t length = Utf8SequenceLength(bytes, i);
            if (length == 0) {
                std::snprintf(escape, sizeof escape, "\\udc%02x", c);
                out += escape;
                ++i;
            } else {
                out.append(bytes, i, length);
                i += length;
            }
            continue;
        }
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            case '\b': out += "\\b"; break;
            case '\f': out += "\\f"; break;
            default:
                if (c < 0x20 || c == 0x7F) {
                    std::snprintf(escape, sizeof escape, "\\u%04x", c);
                    out += escape;
                } else {
                    out.push_back(static_cast<char>(c));
                }
        }
        ++i;
    }
    return out + "\"";
}

std::string EventRecordToJson(const EventRecord& record) {
    std::string out = "{\"time\":" + JsonQuote(record.time) + ",\"computer\":" + JsonQuote(record.computer) +
                      ",\"source\":" + JsonQuote(record.source) + ",\"type\":" + std::to_string(record.type) +
                      ",\"category\":" + std::to_string(record.category) +
                      ",\"event_id\":" + std::to_string(record.eventId) + ",\"strings\":[";
    for (size_t i = 0; i < record.strings.size(); ++i) {
        if (i) out.push_back(',');
        out += JsonQuote(record.strings[i]);
    }
    out += "]";
    if (!record.data.empty()) {
        static const char kHex[] = "0123456789abcdef";
        out += ",\"data\":\"";
        for (unsigned char c : record.data) {
            out.push_back(kHex[c >> 4]);
            out.push_back(kHex[c & 15]);
        }
        out += "\"";
    }
    return out + "}";
}

bool EventRecordFromJson(const std::string& line, EventRecord& record) {
    record = EventRecord();
    JsonReader reader(line);
    if (!reader.Consume('{')) return false;
    bool haveSource = false, haveId = false;
    if (!reader.Consume('}')) {
        do {
            std::string key;
            if (!reader.String(key) || !reader.Consume(':')) return false;
            long long number = 0;
            if (key == "time") {
                if (!reader.String(record.time)) return false;
            } else if (key == "computer") {
                if (!reader.String(record.computer)) return false;
            } else if (key == "source") {
                if (!reader.String(record.source)) return false;
                haveSource = true;
            } else if (key == "type" || key == "category" || key == "event_id") {
                if (!reader.Integer(number)) return false;
                if (key == "type") record.type = static_cast<WORD>(number);
                else if (key == "category") record.category = static_cast<WORD>(number);
                else record.eventId = static_cast<DWORD>(number), haveId = true;
            } else if (key == "strings") {
                if (!reader.Consume('[')) return false;
                if (!reader.Consume(']')) {
                    do {
                        std::string text;
                        if (!reader.String(text)) return false;
                        record.strings.push_back(std::move(text));
                    } while (reader.Consume(','));
                    if (!reader.Consume(']')) return false;
                }
            } else if (key == "data") {
                std::string hex;
                if (!reader.String(hex) || hex.size() % 2) return false;
                for (size_t i = 0; i < hex.size(); i += 2) {
                    int high = HexValue(hex[i]), low = HexValue(hex[i + 1]);
                    if (high < 0 || low < 0) return false;
                    record.data.push_back(static_cast<char>(high * 16 + low));
                }
            } else if (!reader.Skip()) {
                return false;
            }
        } while (reader.Consume(','));
        if (!reader.Consume('}')) return false;
    }
    return reader.AtEnd() && haveSource && haveId;
}

std::vector<EventRecord> ReadEventLog(std::vector<std::string>* lines) {
    std::vector<EventRecord> records;
    std::ifstream in(EventLogFile(), std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
        EventRecord record;
        if (!EventRecordFromJson(line, record)) continue;
        records.push_back(std::move(record));
        if (lines != nullptr) lines->push_back(line);
    }
    return records;
}

const char* EventTypeName(WORD type) {
    switch (type) {
        case EVENTLOG_SUCCESS: return "Success";
        case EVENTLOG_ERROR_TYPE: return "Error";
        case EVENTLOG_WARNING_TYPE: return "Warning";
        case EVENTLOG_INFORMATION_TYPE: return "Information";
        case EVENTLOG_AUDIT_SUCCESS: return "Audit Success";
        case EVENTLOG_AUDIT_FAILURE: return "Audit Failure";
        default: return "Unknown";
    }
}

}  // namespace kv::platform
