// Named icons and strips: the handle of an icon is a node of a process-wide
// set of names, so the same name always gives the same handle; strips are
// kept for the process, as the few that a snap-in makes are.
#include <cstring>
#include <deque>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "platform/mmc/SnapIn.h"

namespace {

struct NamedStrip {
    std::vector<std::string> names;
    std::vector<const char*> pointers;
};

struct ImageNames {
    std::mutex lock;
    std::set<std::string> names;
    std::deque<NamedStrip> strips;  // a deque never moves what it holds
};

ImageNames& Names() {
    static ImageNames* names = new ImageNames;  // handles outlive every static destructor
    return *names;
}

// Names reach file paths of the theme: only plain names, or the res://
// address of a picture a loaded module carries.
bool IsImageName(const char* name) {
    if (name == nullptr || *name == '\0') return false;
    if (std::strncmp(name, "res://", 6) == 0) {
        size_t length = std::strlen(name);
        if (length > 2048) return false;
        for (const char* p = name; *p; ++p)
            if (static_cast<unsigned char>(*p) < 0x20 || *p == 0x7f) return false;
        return true;
    }
    for (const char* p = name; *p; ++p) {
        char c = *p;
        bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
                  c == '_' || c == '.' || c == ':';
        if (!ok) return false;
    }
    return std::string(name).find("..") == std::string::npos;
}

}  // namespace

HICON KvNamedIcon(const char* name) {
    if (!IsImageName(name)) return nullptr;
    ImageNames& names = Names();
    std::lock_guard<std::mutex> guard(names.lock);
    const std::string& kept = *names.names.insert(name).first;
    return reinterpret_cast<HICON>(const_cast<std::string*>(&kept));
}

const char* KvNamedIconName(HICON icon) {
    if (icon == nullptr) return nullptr;
    ImageNames& names = Names();
    std::lock_guard<std::mutex> guard(names.lock);
    for (const std::string& name : names.names)
        if (reinterpret_cast<HICON>(const_cast<std::string*>(&name)) == icon) return name.c_str();
    return nullptr;
}

HBITMAP KvNamedStrip(const char* const* list, int count) {
    if (list == nullptr || count <= 0) return nullptr;
    NamedStrip strip;
    for (int i = 0; i < count; ++i) strip.names.push_back(IsImageName(list[i]) ? list[i] : "");
    ImageNames& names = Names();
    std::lock_guard<std::mutex> guard(names.lock);
    names.strips.push_back(std::move(strip));
    NamedStrip& kept = names.strips.back();
    for (const std::string& name : kept.names) kept.pointers.push_back(name.c_str());
    return reinterpret_cast<HBITMAP>(&kept);
}

bool KvNamedStripNames(HBITMAP handle, const char* const** list, int* count) {
    if (handle == nullptr || list == nullptr || count == nullptr) return false;
    ImageNames& names = Names();
    std::lock_guard<std::mutex> guard(names.lock);
    for (NamedStrip& strip : names.strips) {
        if (reinterpret_cast<HBITMAP>(&strip) == handle) {
            *list = strip.pointers.data();
            *count = static_cast<int>(strip.pointers.size());
            return true;
        }
    }
    return false;
}
