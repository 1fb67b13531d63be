#include "engine/scope/ExtensionRules.h"

#include <cstring>

#include "common/DebugLog.h"
#include "platform/file/File.h"

namespace {

void Add(TextList& list, const std::string& text, bool merge) {
    if (merge && ListHolds(list, text)) return;
    list.push_back(text);
}

// An extension is stored in the job's old list between ";": a line holding
// one would come back as two extensions (BAK;TXT as BAK and TXT), and a
// control character can be no part of a file name's extension.
bool IsExtensionLine(const std::string& line) {
    for (char c : line) {
        unsigned char u = static_cast<unsigned char>(c);
        if (c == ';' || u < 0x20 || u == 0x7F) return false;
    }
    return true;
}

void AddLine(TextList& list, const std::string& line, bool merge, const std::string& file) {
    if (!IsExtensionLine(line)) {
        WriteDebugLogF(1, "Ignoring the line \"%s\" of %s: an extension holds no \";\" nor control character",
                       line.c_str(), file.c_str());
        return;
    }
    Add(list, UpperCase(line), merge);
}

}  // namespace

void LoadExtensionFile(const std::string& file, TextList& list, bool merge) {
    if (!merge) list.clear();
    HANDLE handle = CreateFileA(file.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return;
    std::string pending;
    char buffer[4096];
    bool failed = false;
    for (;;) {
        DWORD read = 0;
        if (!ReadFile(handle, buffer, sizeof buffer, &read, nullptr)) {
            failed = true;
            break;
        }
        if (read == 0) break;
        // A NUL byte means this is no text file: its "lines" would be
        // arbitrary extensions (an empty one excludes every file without a
        // dot), so reading stops with the lines before it.
        const char* nul = static_cast<const char*>(std::memchr(buffer, '\0', read));
        pending.append(buffer, nul != nullptr ? static_cast<size_t>(nul - buffer) : read);
        size_t start = 0;
        for (size_t end; (end = pending.find('\n', start)) != std::string::npos; start = end + 1) {
            std::string line = pending.substr(start, end - start);
            if (!line.empty() && line.back() == '\r') line.pop_back();
            AddLine(list, line, merge, file);
        }
        pending.erase(0, start);
        if (nul != nullptr) {
            failed = true;
            pending.clear();
            break;
        }
    }
    if (!failed && !pending.empty()) {
        if (pending.back() == '\r') pending.pop_back();
        AddLine(list, pending, merge, file);
    }
    CloseHandle(handle);
    if (failed) WriteDebugLogF(1, "Error while reading the excluded items from %s", file.c_str());
}

void ParseOldExtList(const std::string& text, TextList& list, bool merge) {
    try {
        if (!merge) list.clear();
        WriteDebugLog(2, text.c_str());
        if (text.find(';') == std::string::npos) {
            WriteDebugLog(1, "WARNING: old ext list empty");
            return;
        }
        size_t start = 0;
        for (size_t end; (end = text.find(';', start)) != std::string::npos; start = end + 1)
            Add(list, UpperCase(text.substr(start, end - start)), merge);
    } catch (...) {
        WriteDebugLog(1, "Error while reading the excluded items from the list");
    }
}

std::string FormatOldExtList(const TextList& list) {
    std::string text;
    try {
        for (const std::string& entry : list) text += entry + ";";
    } catch (...) {
        WriteDebugLog(1, "Error while saving the old excluded items");
    }
    return text;
}
