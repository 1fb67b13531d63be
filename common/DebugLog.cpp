#include "common/DebugLog.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "common/Deliverable.h"
#include "platform/file/File.h"
#include "platform/system/SystemInfo.h"

DWORD g_dwDebug = 0;
DWORD g_dwDebugLevel = 0;
char g_szLogFile[LOG_PATH_CHARS] = {};

namespace {

thread_local DebugLogLines* t_capture = nullptr;

// English month names whatever the process locale: the log reads the same
// on every machine.
const char* const kMonths[] = {"January", "February", "March",     "April",   "May",      "June",
                               "July",    "August",   "September", "October", "November", "December"};

std::string TimePrefix() {
    SYSTEMTIME now {};
    GetLocalTime(&now);
    char text[96];
    const char* month = now.wMonth >= 1 && now.wMonth <= 12 ? kMonths[now.wMonth - 1] : "";
    std::snprintf(text, sizeof text, "%s %02u, %04u %02u:%02u:%02u", month, now.wDay, now.wYear,
                  now.wHour, now.wMinute, now.wSecond);
    char prefix[128];
    if (g_Deliverable.lineStyle == LogLineStyle::WithMilliseconds)
        std::snprintf(prefix, sizeof prefix, "%s %d ", text, static_cast<int>(now.wMilliseconds));
    else
        std::snprintf(prefix, sizeof prefix, "%s ", text);
    return prefix;
}

// A message is one line: a line feed or other control character in a text
// the system did not write itself (a file name, a registry value) would
// otherwise start a line of its own that reads like a genuine one.
std::string Escaped(const char* message, size_t limit) {
    std::string text;
    if (message == nullptr) return text;
    for (const char* p = message; *p != '\0' && text.size() < limit; ++p) {
        unsigned char c = static_cast<unsigned char>(*p);
        if (c >= 0x20 && c != 0x7F) {
            text.push_back(static_cast<char>(c));
            continue;
        }
        char escape[8];
        switch (c) {
            case '\n': std::snprintf(escape, sizeof escape, "\\n"); break;
            case '\r': std::snprintf(escape, sizeof escape, "\\r"); break;
            case '\t': std::snprintf(escape, sizeof escape, "\\t"); break;
            default: std::snprintf(escape, sizeof escape, "\\x%02X", c); break;
        }
        text.append(escape);
    }
    if (text.size() > limit) text.resize(limit);
    return text;
}

}  // namespace

void WriteDebugLog(unsigned level, const char* message) {
    if (g_dwDebug == 0 || level > g_dwDebugLevel) return;
    if (t_capture != nullptr) {
        t_capture->emplace_back(level, message != nullptr ? message : "");
        return;
    }
    // A link planted where the log file should be is never followed: the
    // line would otherwise be appended to whatever file it names.
    HANDLE file = CreateFileA(g_szLogFile, GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;

    std::vector<char> line(g_Deliverable.lineBuffer, '\0');
    std::string prefix = TimePrefix();
    size_t room = line.size() - 3;  // CR, LF and the terminator always fit
    size_t used = std::min(prefix.size(), room);
    std::memcpy(line.data(), prefix.data(), used);
    size_t limit = room - used;
    if (g_Deliverable.longestMessage != 0) limit = std::min(limit, g_Deliverable.longestMessage);
    const std::string text = Escaped(message, limit);
    size_t length = text.size();
    if (length != 0) std::memcpy(line.data() + used, text.data(), length);
    used += length;
    line[used++] = '\r';
    line[used++] = '\n';

    SetFilePointer(file, 0, nullptr, FILE_END);
    DWORD written = 0;
    WriteFile(file, line.data(), static_cast<DWORD>(used), &written, nullptr);
    CloseHandle(file);
}

void WriteDebugLogF(unsigned level, const char* format, ...) {
    if (g_dwDebug == 0 || level > g_dwDebugLevel) return;
    std::vector<char> text(g_Deliverable.lineBuffer, '\0');
    va_list args;
    va_start(args, format);
    std::vsnprintf(text.data(), text.size(), format, args);
    va_end(args);
    WriteDebugLog(level, text.data());
}

DebugLogCapture::DebugLogCapture(DebugLogLines& lines) : m_previous(t_capture) { t_capture = &lines; }

DebugLogCapture::~DebugLogCapture() { t_capture = m_previous; }

void WriteDebugLogLines(const DebugLogLines& lines) {
    for (const auto& [level, message] : lines) WriteDebugLog(level, message.c_str());
}
