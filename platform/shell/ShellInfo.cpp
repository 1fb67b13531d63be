#include "platform/shell/ShellInfo.h"

#include <gio/gio.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>
#include <vector>

#include "platform/fs/Attributes.h"

struct KvSystemImageList {
    std::mutex lock;
    std::vector<std::string> names;
};

namespace {

KvSystemImageList& SystemList() {
    // Never destroyed: indexes handed out stay valid until the process ends.
    static KvSystemImageList* list = new KvSystemImageList;
    return *list;
}

int IndexOf(const std::string& name) {
    KvSystemImageList& list = SystemList();
    std::lock_guard<std::mutex> guard(list.lock);
    for (size_t i = 0; i < list.names.size(); ++i)
        if (list.names[i] == name) return static_cast<int>(i);
    list.names.push_back(name);
    return static_cast<int>(list.names.size() - 1);
}

void CopyText(char* target, size_t capacity, const std::string& text) {
    size_t n = std::min(capacity - 1, text.size());
    std::memcpy(target, text.data(), n);
    target[n] = '\0';
}

bool IsDriveRoot(const std::string& path) {
    return (path.size() == 2 || (path.size() == 3 && (path[2] == '\\' || path[2] == '/'))) && path[1] == ':' &&
           ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'));
}

std::string LastName(const std::string& path) {
    std::string trimmed = path;
    while (trimmed.size() > 1 && (trimmed.back() == '\\' || trimmed.back() == '/')) trimmed.pop_back();
    size_t cut = trimmed.find_last_of("\\/");
    return cut == std::string::npos ? trimmed : trimmed.substr(cut + 1);
}

// Whether the icon theme the display draws from has an icon of that name.
bool ThemeHasIcon(const std::string& name) {
    static std::mutex lock;
    static std::map<std::string, bool>* known = new std::map<std::string, bool>;
    std::lock_guard<std::mutex> guard(lock);
    auto it = known->find(name);
    if (it != known->end()) return it->second;
    const std::string theme = "/usr/share/icons/Adwaita/";
    bool found = false;
    for (const char* folder : {"16x16/mimetypes/", "scalable/mimetypes/", "16x16/places/", "16x16/devices/"}) {
        for (const char* suffix : {".png", ".svg"}) {
            if (::access((theme + folder + name + suffix).c_str(), F_OK) == 0) found = true;
        }
    }
    known->emplace(name, found);
    return found;
}

struct TypeInfo {
    std::string description;
    std::string icon;
};

// The shared MIME database's type of a file name: its description and the
// first icon name the theme may have for it.
TypeInfo FileType(const std::string& name) {
    TypeInfo info;
    gboolean uncertain = FALSE;
    gchar* type = g_content_type_guess(name.c_str(), nullptr, 0, &uncertain);
    if (type == nullptr) return {"File", "text-x-generic"};
    if (gchar* description = g_content_type_get_description(type)) {
        info.description = description;
        g_free(description);
    }
    if (gchar* generic = g_content_type_get_generic_icon_name(type)) {
        info.icon = generic;
        g_free(generic);
    }
    // The most specific name the installed theme draws, else the generic one.
    if (GIcon* icon = g_content_type_get_icon(type)) {
        if (G_IS_THEMED_ICON(icon)) {
            const gchar* const* names = g_themed_icon_get_names(G_THEMED_ICON(icon));
            for (size_t i = 0; names != nullptr && names[i] != nullptr; ++i) {
                if (ThemeHasIcon(names[i])) {
                    info.icon = names[i];
                    break;
                }
            }
        }
        g_object_unref(icon);
    }
    g_free(type);
    if (info.icon.empty()) info.icon = "text-x-generic";
    if (info.description.empty()) info.description = "File";
    return info;
}

}  // namespace

namespace kv::platform {

std::string SystemImageName(int index) {
    KvSystemImageList& list = SystemList();
    std::lock_guard<std::mutex> guard(list.lock);
    if (index < 0 || static_cast<size_t>(index) >= list.names.size()) return std::string();
    return list.names[static_cast<size_t>(index)];
}

int SystemImageCount() {
    KvSystemImageList& list = SystemList();
    std::lock_guard<std::mutex> guard(list.lock);
    return static_cast<int>(list.names.size());
}

}  // namespace kv::platform

DWORD_PTR SHGetFileInfoA(LPCSTR path, DWORD fileAttributes, SHFILEINFOA* info, UINT size, UINT flags) {
    if (path == nullptr || *path == '\0') return 0;
    const std::string text = path;
    const bool drive = IsDriveRoot(text);
    DWORD attributes = fileAttributes;
    if (!(flags & SHGFI_USEFILEATTRIBUTES)) {
        attributes = GetFileAttributesA(path);
        if (attributes == INVALID_FILE_ATTRIBUTES) {
            if (!drive) return 0;
            attributes = FILE_ATTRIBUTE_DIRECTORY;
        }
    }
    const bool folder = drive || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;

    std::string icon;
    std::string typeName;
    if (drive) {
        icon = "drive-harddisk";
        typeName = "Local Disk";
    } else if (folder) {
        icon = (flags & SHGFI_OPENICON) ? "folder-open" : "folder";
        gchar* description = g_content_type_get_description("inode/directory");
        typeName = description != nullptr ? description : "Folder";
        g_free(description);
    } else {
        TypeInfo type = FileType(LastName(text));
        icon = type.icon;
        typeName = type.description;
    }

    if (info != nullptr && size >= sizeof(SHFILEINFOA)) {
        std::memset(info, 0, sizeof *info);
        if (flags & (SHGFI_SYSICONINDEX | SHGFI_ICON)) info->iIcon = IndexOf(icon);
        if (flags & SHGFI_TYPENAME) CopyText(info->szTypeName, sizeof info->szTypeName, typeName);
        if (flags & SHGFI_DISPLAYNAME)
            CopyText(info->szDisplayName, sizeof info->szDisplayName, drive ? text.substr(0, 2) : LastName(text));
        if (flags & SHGFI_ATTRIBUTES) info->dwAttributes = attributes;
    }
    if (flags & SHGFI_SYSICONINDEX) return reinterpret_cast<DWORD_PTR>(&SystemList());
    return 1;
}
