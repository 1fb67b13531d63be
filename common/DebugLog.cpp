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

}  // namespace

void WriteDebugLog(unsigned level, const char* message) {
    if (g_dwDebug == 0 || level > g_dwDebugLevel) return;
    HANDLE file = CreateFileA(g_szLogFile, GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;

    std::vector<char> line(g_Deliverable.lineBuffer, '\0');
    std::string prefix = TimePrefix();
    size_t room = line.size() - 3;  // CR, LF and the terminator always fit
    size_t used = std::min(prefix.size(), room);
    std::memcpy(line.data(), prefix.data(), used);
    size_t length = message != nullptr ? std::strlen(message) : 0;
    if (g_Deliverable.longestMessage != 0) length = std::min(length, g_Deliverable.longestMessage);
    length = std::min(length, room - used);
    if (length != 0) std::memcpy(line.data() + used, message, length);
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
