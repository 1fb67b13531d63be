#include "platform/eventlog/MessageFile.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <mutex>

#include "platform/library/Library.h"
#include "platform/registry/Registry.h"
#include "platform/resource/StringTable.h"
#include "platform/win/LastError.h"

namespace kv::platform {
namespace {

// Called for an insert %n (n from 1) with its conversion ("s" when none was
// given); false leaves the insert in the text as it stands.
using InsertFn = std::function<bool(int n, const std::string& conversion, std::string& out)>;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Expands escapes and inserts. False only for a malformed "!...!" conversion.
bool Expand(const char* text, bool ignoreInserts, bool joinLines, const InsertFn& insert,
            std::string& out) {
    for (const char* p = text; *p;) {
        char c = *p;
        if (c != '%') {
            if (joinLines && (c == '\r' || c == '\n')) {
                if (c == '\r' && p[1] == '\n') ++p;
                out.push_back(' ');
            } else {
                out.push_back(c);
            }
            ++p;
            continue;
        }
        const char* start = p++;
        char e = *p;
        if (e == '\0') {
            out.push_back('%');
            break;
        }
        if (e == '0') break;
        if (IsDigit(e)) {
            int n = e - '0';
            ++p;
            if (IsDigit(*p)) n = n * 10 + (*p++ - '0');
            std::string conversion = "s";
            if (*p == '!') {
                const char* close = std::strchr(p + 1, '!');
                if (close == nullptr) return false;
                conversion.assign(p + 1, close);
                p = close + 1;
            }
            std::string piece;
            if (!ignoreInserts && insert(n, conversion, piece)) out += piece;
            else out.append(start, p);
            continue;
        }
        ++p;
        switch (e) {
            case 'n': out += "\r\n"; break;
            case 'r': out.push_back('\r'); break;
            case 't': out.push_back('\t'); break;
            case 'b': out.push_back(' '); break;
            default: out.push_back(e); break;  // %% %. %! and any other character
        }
    }
    return true;
}

// A printf conversion of a message insert: flags, width, precision, an
// optional size and the conversion letter. Anything else (such as %n) is
// refused.
bool ParseConversion(const std::string& conversion, std::string& format, char& letter, bool& wide) {
    size_t i = 0;
    std::string flagsAndWidth;
    while (i < conversion.size() && std::strchr("-+ #0", conversion[i])) flagsAndWidth.push_back(conversion[i++]);
    while (i < conversion.size() && IsDigit(conversion[i])) flagsAndWidth.push_back(conversion[i++]);
    if (i < conversion.size() && conversion[i] == '.') {
        flagsAndWidth.push_back(conversion[i++]);
        while (i < conversion.size() && IsDigit(conversion[i])) flagsAndWidth.push_back(conversion[i++]);
    }
    wide = false;
    std::string rest = conversion.substr(i);
    for (const char* size : {"I64", "ll", "l", "I32", "h"}) {
        if (rest.rfind(size, 0) == 0) {
            wide = std::strcmp(size, "I64") == 0 || std::strcmp(size, "ll") == 0;
            rest = rest.substr(std::strlen(size));
            break;
        }
    }
    if (rest.size() != 1 || !std::strchr("diouxXcs", rest[0])) return false;
    letter = rest[0];
    format = "%" + flagsAndWidth + (wide ? "ll" : "") + letter;
    return true;
}

std::string FormatArgument(const std::string& format, char letter, bool wide, DWORD_PTR value) {
    char buffer[512];
    if (letter == 's') {
        const char* text = reinterpret_cast<const char*>(value);
        std::snprintf(buffer, sizeof buffer, format.c_str(), text != nullptr ? text : "(null)");
        // A string insert is not cut to the buffer.
        if (format == "%s") return text != nullptr ? text : "(null)";
    } else if (letter == 'c') {
        std::snprintf(buffer, sizeof buffer, format.c_str(), static_cast<int>(value & 0xFF));
    } else if (letter == 'd' || letter == 'i') {
        if (wide) std::snprintf(buffer, sizeof buffer, format.c_str(), static_cast<long long>(value));
        else std::snprintf(buffer, sizeof buffer, format.c_str(), static_cast<int>(value));
    } else {
        if (wide) std::snprintf(buffer, sizeof buffer, format.c_str(), static_cast<unsigned long long>(value));
        else std::snprintf(buffer, sizeof buffer, format.c_str(), static_cast<unsigned>(value));
    }
    return buffer;
}

std::string ReadStringValue(HKEY key, const char* name) {
    DWORD type = 0, size = 0;
    if (RegQueryValueExA(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return std::string();
    if (type != REG_SZ && type != REG_EXPAND_SZ) return std::string();
    std::vector<char> data(size + 1, '\0');
    if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<LPBYTE>(data.data()), &size) !=
        ERROR_SUCCESS)
        return std::string();
    std::string text(data.data());
    if (type != REG_EXPAND_SZ) return text;
    // %NAME% from the environment; an unknown name stays as it is.
    std::string expanded;
    for (size_t i = 0; i < text.size();) {
        size_t close = text[i] == '%' ? text.find('%', i + 1) : std::string::npos;
        if (close == std::string::npos) {
            expanded.push_back(text[i++]);
            continue;
        }
        std::string name = text.substr(i + 1, close - i - 1);
        const char* value = name.empty() ? nullptr : std::getenv(name.c_str());
        expanded += value != nullptr ? std::string(value) : text.substr(i, close - i + 1);
        i = close + 1;
    }
    return expanded;
}

// Message files stay loaded once used, as the event log service keeps them:
// a source is registered for every record the engine writes, and loading the
// library anew each time would cost more than the record itself.
HMODULE LoadMessageFile(const std::string& file) {
    static std::mutex lock;
    static std::map<std::string, HMODULE> loaded;
    std::string key = file;
    for (char& c : key)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    std::lock_guard<std::mutex> guard(lock);
    auto it = loaded.find(key);
    if (it != loaded.end()) return it->second;
    DWORD saved = GetLastError();
    HMODULE module = LoadLibraryA(file.c_str());
    SetLastError(saved);
    // A file that cannot be loaded is tried again next time: it may appear.
    if (module != nullptr) loaded.emplace(key, module);
    return module;
}

std::string Trim(const std::string& text) {
    size_t begin = text.find_first_not_of(" \t\r\n");
    if (begin == std::string::npos) return std::string();
    size_t end = text.find_last_not_of(" \t\r\n");
    return text.substr(begin, end - begin + 1);
}

}  // namespace

const char* FindMessageText(HMODULE module, DWORD messageId) {
    auto* table = static_cast<const KvStringTableData*>(ModuleData(module, KV_MESSAGE_TABLE_SYMBOL));
    if (table == nullptr) return nullptr;
    const KvStringEntry* end = table->entries + table->count;
    const KvStringEntry* hit = std::lower_bound(
        table->entries, end, messageId, [](const KvStringEntry& e, DWORD key) { return e.id < key; });
    return hit != end && hit->id == messageId ? hit->text : nullptr;
}

std::string FormatInserts(const std::string& text, const std::vector<std::string>& strings) {
    std::string out;
    auto insert = [&](int n, const std::string&, std::string& piece) {
        if (n < 1 || static_cast<size_t>(n) > strings.size()) return false;
        piece = strings[n - 1];
        return true;
    };
    if (!Expand(text.c_str(), false, false, insert, out)) return text;
    return out;
}

std::string EventSourceKey(const std::string& log, const std::string& source) {
    return "SYSTEM\\CurrentControlSet\\Services\\EventLog\\" + log + "\\" + source;
}

EventMessageSource::EventMessageSource(const std::string& source, const std::string& log)
    : m_source(source) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, EventSourceKey(log, source).c_str(), 0, KEY_READ, &key) !=
        ERROR_SUCCESS)
        return;
    m_registered = true;
    std::string eventFiles = ReadStringValue(key, "EventMessageFile");
    std::string categoryFiles = ReadStringValue(key, "CategoryMessageFile");
    RegCloseKey(key);
    auto load = [](const std::string& list, std::vector<HMODULE>& modules) {
        size_t start = 0;
        while (start <= list.size()) {
            size_t end = list.find(';', start);
            if (end == std::string::npos) end = list.size();
            std::string file = Trim(list.substr(start, end - start));
            if (!file.empty())
                if (HMODULE module = LoadMessageFile(file)) modules.push_back(module);
            start = end + 1;
        }
    };
    load(eventFiles, m_eventModules);
    load(categoryFiles, m_categoryModules);
}

EventMessageSource::~EventMessageSource() = default;

const char* EventMessageSource::Find(const std::vector<HMODULE>& modules, DWORD id) const {
    for (HMODULE module : modules)
        if (const char* text = FindMessageText(module, id)) return text;
    return nullptr;
}

std::string EventMessageSource::Message(DWORD eventId, const std::vector<std::string>& strings) const {
    if (const char* text = Find(m_eventModules, eventId)) return FormatInserts(text, strings);
    char head[512];
    std::snprintf(head, sizeof head, "No description is available for event ID %u of source \"%s\": %s",
                  static_cast<unsigned>(eventId & 0xFFFF), m_source.c_str(),
                  m_registered ? "its message file holds no text for it."
                               : "the source is not registered on this computer.");
    std::string message = head;
    if (!strings.empty()) {
        message += " The record holds these insertion strings: ";
        for (size_t i = 0; i < strings.size(); ++i) message += (i ? ", " : "") + strings[i];
    }
    return message;
}

std::string EventMessageSource::Category(WORD category) const {
    if (category == 0) return "None";
    if (const char* text = Find(m_categoryModules, category)) return Trim(text);
    return "(" + std::to_string(category) + ")";
}

}  // namespace kv::platform

using namespace kv::platform;

namespace {

// The system's texts of the errors the file and registry stand-ins report,
// as a program shows them to its user.
const char* SystemMessageText(DWORD error) {
    switch (error) {
        case ERROR_SUCCESS: return "The operation completed successfully.\r\n";
        case ERROR_FILE_NOT_FOUND: return "The system cannot find the file specified.\r\n";
        case ERROR_PATH_NOT_FOUND: return "The system cannot find the path specified.\r\n";
        case ERROR_TOO_MANY_OPEN_FILES: return "The system cannot open the file.\r\n";
        case ERROR_ACCESS_DENIED: return "Access is denied.\r\n";
        case ERROR_NOT_ENOUGH_MEMORY: return "Not enough storage is available to process this command.\r\n";
        case ERROR_NOT_SAME_DEVICE: return "The system cannot move the file to a different disk drive.\r\n";
        case ERROR_SHARING_VIOLATION:
            return "The process cannot access the file because it is being used by another process.\r\n";
        case ERROR_FILE_EXISTS: return "The file exists.\r\n";
        case ERROR_INVALID_PARAMETER: return "The parameter is incorrect.\r\n";
        case ERROR_DISK_FULL: return "There is not enough space on the disk.\r\n";
        case ERROR_INVALID_NAME: return "The filename, directory name, or volume label syntax is incorrect.\r\n";
        case ERROR_ALREADY_EXISTS: return "Cannot create a file when that file already exists.\r\n";
        case ERROR_INVALID_FUNCTION: return "Incorrect function.\r\n";
        default: return nullptr;
    }
}

}  // namespace

DWORD FormatMessageA(DWORD flags, LPCVOID source, DWORD messageId, DWORD, LPSTR buffer, DWORD size,
                     va_list* arguments) {
    bool fromString = (flags & FORMAT_MESSAGE_FROM_STRING) != 0;
    bool fromModule = (flags & FORMAT_MESSAGE_FROM_HMODULE) != 0;
    if ((flags & FORMAT_MESSAGE_FROM_SYSTEM) != 0 && !fromString && !fromModule) {
        const char* system = SystemMessageText(messageId);
        if (system == nullptr) {
            SetLastError(ERROR_MR_MID_NOT_FOUND);
            return 0;
        }
        flags = (flags & ~FORMAT_MESSAGE_FROM_SYSTEM) | FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_IGNORE_INSERTS;
        source = system;
        fromString = true;
    }
    bool ignoreInserts = (flags & FORMAT_MESSAGE_IGNORE_INSERTS) != 0;
    bool argumentArray = (flags & FORMAT_MESSAGE_ARGUMENT_ARRAY) != 0;
    if ((flags & FORMAT_MESSAGE_ALLOCATE_BUFFER) || fromString == fromModule ||
        (arguments != nullptr && !argumentArray && !ignoreInserts)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const char* text = nullptr;
    if (fromString) {
        text = static_cast<const char*>(source);
    } else {
        HMODULE module = source != nullptr ? static_cast<HMODULE>(const_cast<void*>(source))
                                           : GetModuleHandleA(nullptr);
        if (ModuleData(module, KV_MESSAGE_TABLE_SYMBOL) == nullptr) {
            SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
            return 0;
        }
        text = FindMessageText(module, messageId);
        if (text == nullptr) {
            SetLastError(ERROR_MR_MID_NOT_FOUND);
            return 0;
        }
    }
    if (text == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const DWORD_PTR* args = reinterpret_cast<const DWORD_PTR*>(arguments);
    bool bad = false;
    auto insert = [&](int n, const std::string& conversion, std::string& piece) {
        std::string format;
        char letter = 's';
        bool wide = false;
        if (args == nullptr || !ParseConversion(conversion, format, letter, wide)) {
            bad = true;
            return false;
        }
        piece = FormatArgument(format, letter, wide, args[n - 1]);
        return true;
    };
    bool joinLines = (flags & FORMAT_MESSAGE_MAX_WIDTH_MASK) == FORMAT_MESSAGE_MAX_WIDTH_MASK;
    std::string out;
    if (!Expand(text, ignoreInserts, joinLines, insert, out) || bad) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (buffer == nullptr || out.size() + 1 > size) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    std::memcpy(buffer, out.c_str(), out.size() + 1);
    return static_cast<DWORD>(out.size());
}
