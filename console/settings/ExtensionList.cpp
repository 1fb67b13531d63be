#include "console/settings/ExtensionList.h"

#include <cctype>

#include "common/DebugLog.h"
#include "common/Settings.h"
#include "platform/file/File.h"

std::string g_strExtList;

const char* const kBuiltInExtensionList =
    "*.ADE,*.ADP,*.BAS,*.BAT,*.CHM,*.CMD,*.COM,*.CPL,*.CRT,*.EXE,*.HLP,*.HTA,*.INF,*.INS,*.JPS,*.JS,*.JSE,*.LNK,"
    "*.MDB,*.MDE,*.MSC,*.MSI,*.MSP,*.MST,*.PCD,"
    "*.PIF,*.REG,*.SCR,*.SHB,*.SHS,*.URL,*.VB,*.VBE,*.VBS,*.WMD,*.WMZ,*.WSC,*.WSF,*.WSH,*.HTR,*.SYS";

namespace {

// A list file is a few hundred bytes; anything past this is not one.
const DWORD kLongestListFile = 1u << 20;

bool ReadWholeFile(const std::string& path, std::string& text, bool& missing) {
    missing = false;
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        missing = true;
        return false;
    }
    char buffer[4096];
    DWORD read = 0;
    bool ok = true;
    while (ReadFile(file, buffer, sizeof buffer, &read, nullptr) && read > 0) {
        text.append(buffer, read);
        if (text.size() > kLongestListFile) {
            ok = false;
            break;
        }
    }
    CloseHandle(file);
    return ok;
}

}  // namespace

std::string ExtensionFilePath() { return std::string(g_szDataPath) + "\\ExtExcluded.dat"; }

void GetExtensionList() {
    try {
        g_strExtList.clear();
        // Without a data folder the name would be a file at the top of drive C:.
        if (g_szDataPath[0] == '\0') return;
        std::string text;
        bool missing = false;
        if (!ReadWholeFile(ExtensionFilePath(), text, missing)) {
            if (!missing) WriteDebugLog(1, "GetExtensionList - unexpected error");
            return;
        }
        size_t at = 0;
        while (at < text.size()) {
            size_t end = text.find('\n', at);
            if (end == std::string::npos) end = text.size();
            std::string line = text.substr(at, end - at);
            if (!line.empty() && line.back() == '\r') line.pop_back();
            // A blank line names no extension.
            if (!line.empty()) g_strExtList += "*." + line + ",";
            at = end + 1;
        }
        if (!g_strExtList.empty()) {
            for (char& c : g_strExtList) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            g_strExtList.pop_back();
        }
    } catch (...) {
        WriteDebugLog(1, "GetExtensionList - unexpected error");
    }
}

void SaveExtensionList() {
    try {
        if (g_szDataPath[0] == '\0') {
            WriteDebugLog(1, "SaveExtensionList - unexpected error");
            return;
        }
        HANDLE file = CreateFileA(ExtensionFilePath().c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            WriteDebugLog(1, "SaveExtensionList - unexpected error");
            return;
        }
        std::string lines;
        size_t star = g_strExtList.find('*');
        while (star != std::string::npos) {
            size_t begin = star + 2;  // past "*."
            size_t comma = g_strExtList.find(',', star);
            size_t end = comma == std::string::npos ? g_strExtList.size() : comma;
            if (begin <= end) lines += g_strExtList.substr(begin, end - begin) + "\r\n";
            star = comma == std::string::npos ? std::string::npos : g_strExtList.find('*', comma);
        }
        DWORD written = 0;
        bool ok = lines.empty() ||
                  (WriteFile(file, lines.data(), static_cast<DWORD>(lines.size()), &written, nullptr) &&
                   written == lines.size());
        CloseHandle(file);
        if (!ok) WriteDebugLog(1, "SaveExtensionList - unexpected error");
    } catch (...) {
        WriteDebugLog(1, "SaveExtensionList - unexpected error");
    }
}
