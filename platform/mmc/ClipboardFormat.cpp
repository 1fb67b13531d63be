// One table of registered clipboard formats per process: every module that
// registers a name gets the same number, which is what lets a console and its
// snap-ins agree on formats they never told each other.
#include <algorithm>
#include <mutex>
#include <string>
#include <vector>

#include "platform/mmc/SnapIn.h"
#include "platform/text/CodePage.h"

namespace {

constexpr UINT kFirstFormat = 0xC000;
constexpr UINT kLastFormat = 0xFFFF;

struct FormatTable {
    std::mutex lock;
    std::vector<std::string> names;  // index + kFirstFormat is the format
};

FormatTable& Table() {
    static FormatTable* table = new FormatTable;  // never destroyed: modules may register during unload
    return *table;
}

// Registered names compare without regard to case, as atoms do.
bool SameName(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 'a' + 'A');
        if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 'a' + 'A');
        if (x != y) return false;
    }
    return true;
}

}  // namespace

UINT RegisterClipboardFormatA(LPCSTR name) {
    if (name == nullptr || *name == '\0') return 0;
    std::string text(name);
    FormatTable& table = Table();
    std::lock_guard<std::mutex> guard(table.lock);
    for (size_t i = 0; i < table.names.size(); ++i)
        if (SameName(table.names[i], text)) return kFirstFormat + static_cast<UINT>(i);
    if (table.names.size() > kLastFormat - kFirstFormat) return 0;
    table.names.push_back(text);
    return kFirstFormat + static_cast<UINT>(table.names.size() - 1);
}

UINT RegisterClipboardFormatW(LPCWSTR name) {
    if (name == nullptr || *name == 0) return 0;
    return RegisterClipboardFormatA(kv::platform::Utf16ToUtf8(name, kv::platform::WideLength(name)).c_str());
}

int GetClipboardFormatNameA(UINT format, LPSTR name, int cchMax) {
    if (name == nullptr || cchMax <= 0 || format < kFirstFormat) return 0;
    FormatTable& table = Table();
    std::lock_guard<std::mutex> guard(table.lock);
    size_t index = format - kFirstFormat;
    if (index >= table.names.size()) return 0;
    const std::string& text = table.names[index];
    size_t n = std::min(text.size(), static_cast<size_t>(cchMax - 1));
    text.copy(name, n);
    name[n] = '\0';
    return static_cast<int>(n);
}
