// Image lists of named icons. Handles are checked against the lists alive,
// so a list destroyed twice (by its list view and by its owner) or used after
// it went is refused instead of touched.
#include <algorithm>
#include <cstring>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "platform/ui/CommCtrl.h"
#include "platform/ui/window/ImageLists.h"

struct KvImageList {
    int cx = 16;
    int cy = 16;
    std::vector<std::string> names;
};

namespace {

std::mutex g_listsLock;
std::set<KvImageList*>& Lists() {
    static auto* lists = new std::set<KvImageList*>;
    return *lists;
}

bool Alive(HIMAGELIST list) { return list != nullptr && Lists().count(list) != 0; }

}  // namespace

namespace kv::ui::detail {

std::vector<std::string> ImageNames(HIMAGELIST list) {
    std::lock_guard<std::mutex> guard(g_listsLock);
    return Alive(list) ? list->names : std::vector<std::string>();
}

}  // namespace kv::ui::detail

HIMAGELIST ImageList_Create(int cx, int cy, UINT, int, int) {
    auto* list = new KvImageList;
    list->cx = cx;
    list->cy = cy;
    std::lock_guard<std::mutex> guard(g_listsLock);
    Lists().insert(list);
    return list;
}

BOOL ImageList_Destroy(HIMAGELIST list) {
    {
        std::lock_guard<std::mutex> guard(g_listsLock);
        if (!Alive(list)) return FALSE;
        Lists().erase(list);
    }
    delete list;
    return TRUE;
}

int ImageList_GetImageCount(HIMAGELIST list) {
    std::lock_guard<std::mutex> guard(g_listsLock);
    return Alive(list) ? static_cast<int>(list->names.size()) : 0;
}

int ImageList_AddNamed(HIMAGELIST list, LPCSTR name) { return ImageList_ReplaceNamed(list, -1, name); }

int ImageList_ReplaceNamed(HIMAGELIST list, int index, LPCSTR name) {
    std::lock_guard<std::mutex> guard(g_listsLock);
    if (!Alive(list) || name == nullptr) return -1;
    if (index == -1) {
        list->names.emplace_back(name);
        return static_cast<int>(list->names.size()) - 1;
    }
    if (index < 0 || static_cast<size_t>(index) >= list->names.size()) return -1;
    list->names[static_cast<size_t>(index)] = name;
    return index;
}

BOOL ImageList_Remove(HIMAGELIST list, int index) {
    std::lock_guard<std::mutex> guard(g_listsLock);
    if (!Alive(list)) return FALSE;
    if (index == -1) {
        list->names.clear();
        return TRUE;
    }
    if (index < 0 || static_cast<size_t>(index) >= list->names.size()) return FALSE;
    list->names.erase(list->names.begin() + index);
    return TRUE;
}

int ImageList_GetName(HIMAGELIST list, int index, LPSTR buffer, int size) {
    std::lock_guard<std::mutex> guard(g_listsLock);
    if (buffer == nullptr || size <= 0) return 0;
    buffer[0] = '\0';
    if (!Alive(list) || index < 0 || static_cast<size_t>(index) >= list->names.size()) return 0;
    const std::string& name = list->names[static_cast<size_t>(index)];
    size_t length = std::min(name.size(), static_cast<size_t>(size - 1));
    std::memcpy(buffer, name.data(), length);
    buffer[length] = '\0';
    return static_cast<int>(length);
}

BOOL ImageList_GetIconSize(HIMAGELIST list, int* cx, int* cy) {
    std::lock_guard<std::mutex> guard(g_listsLock);
    if (!Alive(list)) return FALSE;
    if (cx != nullptr) *cx = list->cx;
    if (cy != nullptr) *cy = list->cy;
    return TRUE;
}

BOOL InitCommonControlsEx(const INITCOMMONCONTROLSEX*) { return TRUE; }
