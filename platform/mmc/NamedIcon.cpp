// Named icons: the handle is a node of a process-wide set of names, so the
// same name always gives the same handle and a handle stays valid for the
// life of the process.
#include <mutex>
#include <set>
#include <string>

#include "platform/mmc/SnapIn.h"

namespace {

struct IconNames {
    std::mutex lock;
    std::set<std::string> names;
};

IconNames& Names() {
    static IconNames* names = new IconNames;  // handles outlive every static destructor
    return *names;
}

bool IsThemeName(const char* name) {
    if (name == nullptr || *name == '\0') return false;
    for (const char* p = name; *p; ++p) {
        char c = *p;
        bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_' || c == '.';
        if (!ok) return false;
    }
    return true;
}

}  // namespace

HICON KvNamedIcon(const char* themeIconName) {
    // Names reach file paths of the theme: only plain icon names are taken.
    if (!IsThemeName(themeIconName)) return nullptr;
    IconNames& names = Names();
    std::lock_guard<std::mutex> guard(names.lock);
    const std::string& kept = *names.names.insert(themeIconName).first;
    return reinterpret_cast<HICON>(const_cast<std::string*>(&kept));
}

const char* KvNamedIconName(HICON icon) {
    if (icon == nullptr) return nullptr;
    IconNames& names = Names();
    std::lock_guard<std::mutex> guard(names.lock);
    for (const std::string& name : names.names)
        if (reinterpret_cast<HICON>(const_cast<std::string*>(&name)) == icon) return name.c_str();
    return nullptr;
}
