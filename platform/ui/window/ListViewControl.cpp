// List views: columns, items with sub-item texts, icons, state images and
// selection, and the notifications their parent gets.
#include <algorithm>
#include <cstring>
#include <strings.h>

#include <utility>

#include "platform/ui/CommCtrl.h"
#include "platform/ui/window/Controls.h"
#include "platform/ui/window/ImageLists.h"

namespace kv::ui::detail {
namespace {

constexpr int kRowHeight = 18;
constexpr int kHeaderHeight = 24;

struct Column {
    std::string text;
    int width = 100;
    int format = LVCFMT_LEFT;
    int subItem = 0;
};

struct Item {
    std::vector<std::string> texts{std::string()};  // by sub-item
    bool textCallback = false;
    std::vector<char> subCallbacks;  // by sub-item: the parent supplies its text
    int image = 0;
    UINT state = 0;
    LPARAM param = 0;
    int indent = 0;
};

struct ListData : ControlData {
    std::vector<Column> columns;
    std::vector<Item> items;
    HIMAGELIST images[3] = {nullptr, nullptr, nullptr};
    UINT callbackMask = 0;
    DWORD exStyle = 0;
    int mark = -1;
};

ListData* Data(Window* window) {
    if (!window->control) window->control = std::make_unique<ListData>();
    return static_cast<ListData*>(window->control.get());
}

bool Valid(ListData* data, int index) { return index >= 0 && static_cast<size_t>(index) < data->items.size(); }

bool MultiSelect(Window* window) { return (window->style & LVS_SINGLESEL) == 0; }

bool IsCallback(const Item& item, int subItem) {
    if (subItem == 0) return item.textCallback;
    return static_cast<size_t>(subItem) < item.subCallbacks.size() && item.subCallbacks[static_cast<size_t>(subItem)] != 0;
}

void SetCallback(Item& item, int subItem, bool callback) {
    if (subItem == 0) {
        item.textCallback = callback;
        return;
    }
    if (static_cast<size_t>(subItem) >= item.subCallbacks.size()) {
        if (!callback) return;
        item.subCallbacks.resize(static_cast<size_t>(subItem) + 1, 0);
    }
    item.subCallbacks[static_cast<size_t>(subItem)] = callback ? 1 : 0;
}

// Where the first column draws its parts: the state image (when the list
// has state images), the small icon, then the label.
int StateImageWidth(const ListData* data) { return data->images[LVSIL_STATE] != nullptr ? 16 : 0; }

std::string& TextOf(Item& item, int subItem) {
    if (static_cast<size_t>(subItem) >= item.texts.size()) item.texts.resize(static_cast<size_t>(subItem) + 1);
    return item.texts[static_cast<size_t>(subItem)];
}

int HeaderHeight(Window* window) {
    return (window->style & LVS_TYPEMASK) == LVS_REPORT && (window->style & LVS_NOCOLUMNHEADER) == 0 ? kHeaderHeight : 0;
}

// What the parent answered about an item.
struct Answer {
    std::string text;
    int image = 0;
    UINT state = 0;
};

// Asks the parent for what the item leaves to it (LVN_GETDISPINFO). A state
// asked for starts as the item's own, so that a parent that leaves it alone
// answers what the item holds. An answer with LVIF_DI_SETITEM is kept.
// False when the list went away meanwhile.
bool AskParent(Window* window, int index, int subItem, UINT mask, UINT stateMask, Answer* answer) {
    HWND handle = window->handle;
    char buffer[1024] = {};
    const Item& item = Data(window)->items[static_cast<size_t>(index)];
    NMLVDISPINFO info{};
    info.item.mask = mask;
    info.item.iItem = index;
    info.item.iSubItem = subItem;
    info.item.pszText = buffer;
    info.item.cchTextMax = sizeof buffer;
    info.item.iImage = item.image;
    info.item.stateMask = (mask & LVIF_STATE) != 0 ? stateMask : 0;
    info.item.state = item.state & info.item.stateMask;
    info.item.lParam = item.param;
    Notify(window, LVN_GETDISPINFO, &info.hdr);
    window = OwnWindow(handle);
    if (window == nullptr || !Valid(Data(window), index)) return false;
    if ((mask & LVIF_TEXT) != 0 && info.item.pszText != nullptr && info.item.pszText != LPSTR_TEXTCALLBACK) {
        buffer[sizeof buffer - 1] = '\0';
        answer->text = info.item.pszText;
    }
    answer->image = info.item.iImage;
    answer->state = info.item.state;
    if ((info.item.mask & LVIF_DI_SETITEM) != 0) {
        Item& kept = Data(window)->items[static_cast<size_t>(index)];
        if ((mask & LVIF_TEXT) != 0) {
            TextOf(kept, subItem) = answer->text;
            SetCallback(kept, subItem, false);
        }
        if ((mask & LVIF_IMAGE) != 0 && subItem == 0) kept.image = answer->image;
    }
    return true;
}

NMLISTVIEW ChangeNote(const Item& item, int index, UINT newState, UINT oldState) {
    NMLISTVIEW note{};
    note.iItem = index;
    note.uNewState = newState;
    note.uOldState = oldState;
    note.uChanged = LVIF_STATE;
    note.lParam = item.param;
    return note;
}

// Changes the state bits of one item with the notifications Windows sends;
// false when the parent refused the change.
bool SetState(Window* window, int index, UINT state, UINT mask) {
    HWND handle = window->handle;
    ListData* data = Data(window);
    if (!Valid(data, index)) return false;
    Item& item = data->items[static_cast<size_t>(index)];
    UINT old = item.state;
    UINT next = (old & ~mask) | (state & mask);
    if (next == old) return true;
    if ((next & LVIS_SELECTED) != 0 && (old & LVIS_SELECTED) == 0 && !MultiSelect(window)) {
        for (size_t i = 0; i < data->items.size(); ++i)
            if (static_cast<int>(i) != index && (data->items[i].state & LVIS_SELECTED) != 0)
                SetState(window, static_cast<int>(i), 0, LVIS_SELECTED);
        window = OwnWindow(handle);
        if (window == nullptr || !Valid(Data(window), index)) return false;
        data = Data(window);
    }
    if ((next & LVIS_FOCUSED) != 0 && (old & LVIS_FOCUSED) == 0) {
        for (size_t i = 0; i < data->items.size(); ++i)
            if (static_cast<int>(i) != index && (data->items[i].state & LVIS_FOCUSED) != 0)
                SetState(window, static_cast<int>(i), 0, LVIS_FOCUSED);
        window = OwnWindow(handle);
        if (window == nullptr || !Valid(Data(window), index)) return false;
        data = Data(window);
    }
    Item& current = data->items[static_cast<size_t>(index)];
    old = current.state;
    next = (old & ~mask) | (state & mask);
    if (next == old) return true;
    NMLISTVIEW changing = ChangeNote(current, index, next, old);
    if (Notify(window, LVN_ITEMCHANGING, &changing.hdr) != 0) return false;
    window = OwnWindow(handle);
    if (window == nullptr || !Valid(Data(window), index)) return false;
    Data(window)->items[static_cast<size_t>(index)].state = next;
    MarkDirty(window);
    NMLISTVIEW changed = ChangeNote(Data(window)->items[static_cast<size_t>(index)], index, next, old);
    Notify(window, LVN_ITEMCHANGED, &changed.hdr);
    return true;
}

// Selects exactly the items of `wanted` (in that order), focusing `focus`.
void SelectExactly(HWND handle, const std::vector<int>& wanted, int focus) {
    Window* window = OwnWindow(handle);
    if (window == nullptr) return;
    size_t count = Data(window)->items.size();
    std::vector<bool> keep(count, false);
    for (int index : wanted)
        if (index >= 0 && static_cast<size_t>(index) < count) keep[static_cast<size_t>(index)] = true;
    for (size_t i = 0; i < count; ++i) {
        window = OwnWindow(handle);
        if (window == nullptr || i >= Data(window)->items.size()) return;
        if (!keep[i] && (Data(window)->items[i].state & LVIS_SELECTED) != 0)
            SetState(window, static_cast<int>(i), 0, LVIS_SELECTED);
    }
    for (int index : wanted) {
        window = OwnWindow(handle);
        if (window == nullptr) return;
        SetState(window, index, LVIS_SELECTED, LVIS_SELECTED);
    }
    window = OwnWindow(handle);
    if (window != nullptr && Valid(Data(window), focus)) {
        SetState(window, focus, LVIS_FOCUSED, LVIS_FOCUSED);
        Data(window)->mark = focus;
    }
}

int InsertPosition(Window* window, const std::string& text, int requested) {
    ListData* data = Data(window);
    int count = static_cast<int>(data->items.size());
    bool ascending = (window->style & LVS_SORTASCENDING) != 0;
    bool descending = (window->style & LVS_SORTDESCENDING) != 0;
    if (!ascending && !descending) return std::clamp(requested, 0, count);
    for (int i = 0; i < count; ++i) {
        const Item& item = data->items[static_cast<size_t>(i)];
        if (item.textCallback) continue;
        int order = strcasecmp(text.c_str(), item.texts[0].c_str());
        if ((ascending && order < 0) || (descending && order > 0)) return i;
    }
    return count;
}

void ShiftMark(ListData* data, int removed) {
    if (data->mark == removed) data->mark = -1;
    else if (data->mark > removed) --data->mark;
}

void NotifyDelete(Window* window, UINT code, int index, LPARAM param) {
    NMLISTVIEW note{};
    note.iItem = index;
    note.lParam = param;
    Notify(window, code, &note.hdr);
}

LRESULT InsertItem(Window* window, const LVITEM* given) {
    if (given == nullptr || given->iSubItem != 0) return -1;
    Item item;
    if ((given->mask & LVIF_TEXT) != 0) {
        if (given->pszText == LPSTR_TEXTCALLBACK) {
            item.textCallback = true;
        } else if (given->pszText != nullptr) {
            item.texts[0] = given->pszText;
        }
    }
    if ((given->mask & LVIF_IMAGE) != 0) item.image = given->iImage;
    if ((given->mask & LVIF_PARAM) != 0) item.param = given->lParam;
    if ((given->mask & LVIF_INDENT) != 0) item.indent = given->iIndent;
    UINT state = (given->mask & LVIF_STATE) != 0 ? given->state & given->stateMask : 0;
    ListData* data = Data(window);
    int index = InsertPosition(window, item.texts[0], given->iItem);
    data->items.insert(data->items.begin() + index, std::move(item));
    if (data->mark >= index) ++data->mark;
    MarkDirty(window);
    HWND handle = window->handle;
    NMLISTVIEW note{};
    note.iItem = index;
    note.lParam = data->items[static_cast<size_t>(index)].param;
    Notify(window, LVN_INSERTITEM, &note.hdr);
    if (state != 0) {
        if (Window* still = OwnWindow(handle)) SetState(still, index, state, state);
    }
    return index;
}

LRESULT SetItem(Window* window, const LVITEM* given) {
    ListData* data = Data(window);
    if (given == nullptr || !Valid(data, given->iItem) || given->iSubItem < 0) return FALSE;
    Item& item = data->items[static_cast<size_t>(given->iItem)];
    if ((given->mask & LVIF_TEXT) != 0) {
        bool callback = given->pszText == LPSTR_TEXTCALLBACK;
        SetCallback(item, given->iSubItem, callback);
        TextOf(item, given->iSubItem) = !callback && given->pszText != nullptr ? given->pszText : "";
    }
    if (given->iSubItem == 0) {
        if ((given->mask & LVIF_IMAGE) != 0) item.image = given->iImage;
        if ((given->mask & LVIF_PARAM) != 0) item.param = given->lParam;
        if ((given->mask & LVIF_INDENT) != 0) item.indent = given->iIndent;
    }
    MarkDirty(window);
    if (given->iSubItem == 0 && (given->mask & LVIF_STATE) != 0)
        return SetState(window, given->iItem, given->state, given->stateMask);
    return TRUE;
}

int CopyOut(const std::string& text, LPSTR buffer, int size) {
    if (buffer == nullptr || size <= 0) return 0;
    size_t length = std::min(text.size(), static_cast<size_t>(size - 1));
    std::memcpy(buffer, text.data(), length);
    buffer[length] = '\0';
    return static_cast<int>(length);
}

std::string ItemText(Window* window, int index, int subItem) {
    Item& item = Data(window)->items[static_cast<size_t>(index)];
    if (IsCallback(item, subItem)) {
        Answer answer;
        AskParent(window, index, subItem, LVIF_TEXT, 0, &answer);
        return answer.text;
    }
    return static_cast<size_t>(subItem) < item.texts.size() ? item.texts[static_cast<size_t>(subItem)] : std::string();
}

LRESULT GetItem(Window* window, LVITEM* given) {
    ListData* data = Data(window);
    if (given == nullptr || !Valid(data, given->iItem)) return FALSE;
    Item& item = data->items[static_cast<size_t>(given->iItem)];
    if ((given->mask & LVIF_TEXT) != 0) {
        if (IsCallback(item, given->iSubItem)) {
            given->pszText = LPSTR_TEXTCALLBACK;
        } else {
            CopyOut(ItemText(window, given->iItem, given->iSubItem), given->pszText, given->cchTextMax);
        }
    }
    if ((given->mask & LVIF_IMAGE) != 0) given->iImage = item.image;
    if ((given->mask & LVIF_PARAM) != 0) given->lParam = item.param;
    if ((given->mask & LVIF_INDENT) != 0) given->iIndent = item.indent;
    if ((given->mask & LVIF_STATE) != 0) given->state = item.state & given->stateMask;
    return TRUE;
}

LRESULT NextItem(Window* window, int start, UINT flags) {
    ListData* data = Data(window);
    int count = static_cast<int>(data->items.size());
    bool above = (flags & LVNI_ABOVE) != 0;
    UINT wanted = flags & (LVNI_SELECTED | LVNI_FOCUSED);
    int step = above ? -1 : 1;
    int i = start < 0 ? (above ? count - 1 : 0) : start + step;
    for (; i >= 0 && i < count; i += step) {
        UINT state = data->items[static_cast<size_t>(i)].state;
        if ((wanted & LVNI_SELECTED) != 0 && (state & LVIS_SELECTED) == 0) continue;
        if ((wanted & LVNI_FOCUSED) != 0 && (state & LVIS_FOCUSED) == 0) continue;
        return i;
    }
    return -1;
}

LRESULT FindItem(Window* window, int start, const LVFINDINFO* find) {
    if (find == nullptr) return -1;
    ListData* data = Data(window);
    for (int i = std::max(start + 1, 0); i < static_cast<int>(data->items.size()); ++i) {
        Item& item = data->items[static_cast<size_t>(i)];
        if ((find->flags & LVFI_PARAM) != 0) {
            if (item.param == find->lParam) return i;
            continue;
        }
        if ((find->flags & (LVFI_STRING | LVFI_PARTIAL)) != 0 && find->psz != nullptr) {
            std::string text = ItemText(window, i, 0);
            window = OwnWindow(window->handle);
            if (window == nullptr) return -1;
            data = Data(window);
            size_t n = std::strlen(find->psz);
            bool partial = (find->flags & LVFI_PARTIAL) != 0;
            if (partial ? strncasecmp(text.c_str(), find->psz, n) == 0 : strcasecmp(text.c_str(), find->psz) == 0)
                return i;
        }
    }
    return -1;
}

LRESULT HitTest(Window* window, LVHITTESTINFO* hit, bool subItems) {
    if (hit == nullptr) return -1;
    ListData* data = Data(window);
    int row = hit->pt.y < HeaderHeight(window) ? -1 : (hit->pt.y - HeaderHeight(window)) / kRowHeight;
    hit->iSubItem = 0;
    if (hit->pt.x < 0 || !Valid(data, row)) {
        hit->flags = LVHT_NOWHERE;
        hit->iItem = -1;
        return -1;
    }
    hit->iItem = row;
    int icon = StateImageWidth(data);
    hit->flags = hit->pt.x < icon ? LVHT_ONITEMSTATEICON : hit->pt.x < icon + 16 ? LVHT_ONITEMICON : LVHT_ONITEMLABEL;
    if (subItems) {
        int left = 0;
        for (size_t c = 0; c < data->columns.size(); ++c) {
            int right = left + data->columns[c].width;
            if (hit->pt.x < right) {
                hit->iSubItem = static_cast<int>(c);
                break;
            }
            left = right;
            if (c + 1 == data->columns.size()) {
                hit->flags = LVHT_NOWHERE;
                hit->iItem = -1;
                return -1;
            }
        }
        if (hit->iSubItem > 0) hit->flags = LVHT_ONITEMLABEL;
    }
    return row;
}

void DeleteAll(Window* window) {
    HWND handle = window->handle;
    if (Data(window)->items.empty()) return;
    NMLISTVIEW all{};
    all.iItem = -1;
    bool quiet = Notify(window, LVN_DELETEALLITEMS, &all.hdr) != 0;
    window = OwnWindow(handle);
    if (window == nullptr) return;
    std::vector<Item> items;
    items.swap(Data(window)->items);
    Data(window)->mark = -1;
    MarkDirty(window);
    if (quiet) return;
    for (size_t i = 0; i < items.size(); ++i) {
        Window* still = OwnWindow(handle);
        if (still == nullptr) return;
        NotifyDelete(still, LVN_DELETEITEM, static_cast<int>(i), items[i].param);
    }
}

}  // namespace

LRESULT ListViewProc(HWND handle, UINT message, WPARAM wParam, LPARAM lParam) {
    Window* window = OwnWindow(handle);
    if (window == nullptr) return 0;
    ListData* data = Data(window);
    int index = static_cast<int>(static_cast<intptr_t>(wParam));
    switch (message) {
        case LVM_SETIMAGELIST: {
            if (wParam > 2) return 0;
            HIMAGELIST old = data->images[wParam];
            data->images[wParam] = reinterpret_cast<HIMAGELIST>(lParam);
            MarkDirty(window);
            return reinterpret_cast<LRESULT>(old);
        }
        case LVM_GETIMAGELIST:
            return wParam <= 2 ? reinterpret_cast<LRESULT>(data->images[wParam]) : 0;
        case LVM_GETITEMCOUNT:
            return static_cast<LRESULT>(data->items.size());
        case LVM_INSERTITEM:
            return InsertItem(window, reinterpret_cast<const LVITEM*>(lParam));
        case LVM_SETITEM:
            return SetItem(window, reinterpret_cast<const LVITEM*>(lParam));
        case LVM_GETITEM:
            return GetItem(window, reinterpret_cast<LVITEM*>(lParam));
        case LVM_DELETEITEM: {
            if (!Valid(data, index)) return FALSE;
            NotifyDelete(window, LVN_DELETEITEM, index, data->items[static_cast<size_t>(index)].param);
            window = OwnWindow(handle);
            if (window == nullptr || !Valid(Data(window), index)) return FALSE;
            Data(window)->items.erase(Data(window)->items.begin() + index);
            ShiftMark(Data(window), index);
            MarkDirty(window);
            return TRUE;
        }
        case LVM_DELETEALLITEMS:
            DeleteAll(window);
            return TRUE;
        case LVM_GETCALLBACKMASK:
            return data->callbackMask;
        case LVM_SETCALLBACKMASK:
            data->callbackMask = static_cast<UINT>(wParam);
            MarkDirty(window);
            return TRUE;
        case LVM_GETNEXTITEM:
            return NextItem(window, index, static_cast<UINT>(lParam));
        case LVM_FINDITEM:
            return FindItem(window, index, reinterpret_cast<const LVFINDINFO*>(lParam));
        case LVM_GETITEMRECT: {
            auto* rect = reinterpret_cast<RECT*>(lParam);
            if (rect == nullptr || !Valid(data, index)) return FALSE;
            int top = HeaderHeight(window) + index * kRowHeight;
            int width = window->rect.right - window->rect.left;
            int code = rect->left;
            int icon = StateImageWidth(data);
            *rect = RECT{0, top, width, top + kRowHeight};
            if (code == LVIR_ICON) *rect = RECT{icon, top, icon + 16, top + kRowHeight};
            if (code == LVIR_LABEL) rect->left = icon + 16;
            return TRUE;
        }
        case LVM_HITTEST:
        case LVM_SUBITEMHITTEST:
            return HitTest(window, reinterpret_cast<LVHITTESTINFO*>(lParam), message == LVM_SUBITEMHITTEST);
        case LVM_ENSUREVISIBLE:
        case LVM_UPDATE:
        case LVM_REDRAWITEMS:
            MarkDirty(window);
            return TRUE;
        case LVM_INSERTCOLUMN: {
            auto* given = reinterpret_cast<const LVCOLUMN*>(lParam);
            if (given == nullptr) return -1;
            Column column;
            int position = std::clamp(index, 0, static_cast<int>(data->columns.size()));
            column.subItem = (given->mask & LVCF_SUBITEM) != 0 ? given->iSubItem : position;
            if ((given->mask & LVCF_TEXT) != 0 && given->pszText != nullptr) column.text = given->pszText;
            if ((given->mask & LVCF_WIDTH) != 0) column.width = given->cx;
            if ((given->mask & LVCF_FMT) != 0) column.format = given->fmt;
            data->columns.insert(data->columns.begin() + position, column);
            MarkDirty(window);
            return position;
        }
        case LVM_SETCOLUMN:
        case LVM_GETCOLUMN: {
            auto* given = reinterpret_cast<LVCOLUMN*>(lParam);
            if (given == nullptr || index < 0 || static_cast<size_t>(index) >= data->columns.size()) return FALSE;
            Column& column = data->columns[static_cast<size_t>(index)];
            if (message == LVM_GETCOLUMN) {
                if ((given->mask & LVCF_TEXT) != 0) CopyOut(column.text, given->pszText, given->cchTextMax);
                if ((given->mask & LVCF_WIDTH) != 0) given->cx = column.width;
                if ((given->mask & LVCF_FMT) != 0) given->fmt = column.format;
                if ((given->mask & LVCF_SUBITEM) != 0) given->iSubItem = column.subItem;
                return TRUE;
            }
            if ((given->mask & LVCF_TEXT) != 0) column.text = given->pszText != nullptr ? given->pszText : "";
            if ((given->mask & LVCF_WIDTH) != 0) column.width = given->cx;
            if ((given->mask & LVCF_FMT) != 0) column.format = given->fmt;
            if ((given->mask & LVCF_SUBITEM) != 0) column.subItem = given->iSubItem;
            MarkDirty(window);
            return TRUE;
        }
        case LVM_DELETECOLUMN:
            if (index < 0 || static_cast<size_t>(index) >= data->columns.size()) return FALSE;
            data->columns.erase(data->columns.begin() + index);
            MarkDirty(window);
            return TRUE;
        case LVM_GETCOLUMNWIDTH:
            if (index < 0 || static_cast<size_t>(index) >= data->columns.size()) return 0;
            return data->columns[static_cast<size_t>(index)].width;
        case LVM_SETCOLUMNWIDTH:
            if (index < 0 || static_cast<size_t>(index) >= data->columns.size()) return FALSE;
            data->columns[static_cast<size_t>(index)].width = static_cast<int>(static_cast<short>(LOWORD(lParam)));
            MarkDirty(window);
            return TRUE;
        case LVM_SETITEMSTATE: {
            auto* given = reinterpret_cast<const LVITEM*>(lParam);
            if (given == nullptr) return FALSE;
            if (index != -1) return SetState(window, index, given->state, given->stateMask);
            UINT state = given->state, mask = given->stateMask;
            for (size_t i = 0; i < data->items.size(); ++i) {
                Window* still = OwnWindow(handle);
                if (still == nullptr || i >= Data(still)->items.size()) break;
                SetState(still, static_cast<int>(i), state, mask);
            }
            return TRUE;
        }
        case LVM_GETITEMSTATE:
            return Valid(data, index) ? data->items[static_cast<size_t>(index)].state & static_cast<UINT>(lParam) : 0;
        case LVM_GETITEMTEXT: {
            auto* given = reinterpret_cast<LVITEM*>(lParam);
            if (given == nullptr || !Valid(data, index)) return 0;
            return CopyOut(ItemText(window, index, given->iSubItem), given->pszText, given->cchTextMax);
        }
        case LVM_SETITEMTEXT: {
            auto* given = reinterpret_cast<const LVITEM*>(lParam);
            if (given == nullptr) return FALSE;
            LVITEM copy = *given;
            copy.iItem = index;
            copy.mask = LVIF_TEXT;
            return SetItem(window, &copy);
        }
        case LVM_SETITEMCOUNT:
            data->items.reserve(std::min<size_t>(wParam, 100000));
            return TRUE;
        case LVM_SORTITEMS: {
            auto compare = reinterpret_cast<PFNLVCOMPARE>(lParam);
            if (compare == nullptr) return FALSE;
            LPARAM sortParam = static_cast<LPARAM>(wParam);
            // Sort a copy: the comparison may call back into the list.
            std::vector<Item> items = data->items;
            std::stable_sort(items.begin(), items.end(), [&](const Item& a, const Item& b) {
                return compare(a.param, b.param, sortParam) < 0;
            });
            window = OwnWindow(handle);
            if (window == nullptr) return FALSE;
            Data(window)->items = std::move(items);
            Data(window)->mark = -1;
            MarkDirty(window);
            return TRUE;
        }
        case LVM_GETSELECTEDCOUNT:
            return std::count_if(data->items.begin(), data->items.end(),
                                 [](const Item& item) { return (item.state & LVIS_SELECTED) != 0; });
        case LVM_SETEXTENDEDLISTVIEWSTYLE: {
            DWORD old = data->exStyle;
            DWORD mask = wParam != 0 ? static_cast<DWORD>(wParam) : 0xFFFFFFFFu;
            data->exStyle = (old & ~mask) | (static_cast<DWORD>(lParam) & mask);
            MarkDirty(window);
            return old;
        }
        case LVM_GETEXTENDEDLISTVIEWSTYLE:
            return data->exStyle;
        case LVM_SETSELECTIONMARK:
            return std::exchange(data->mark, static_cast<int>(lParam));
        case LVM_GETSELECTIONMARK:
            return data->mark;
        case WM_SETFOCUS: {
            NMHDR note{};
            Notify(window, NM_SETFOCUS, &note);
            return 0;
        }
        case WM_KILLFOCUS: {
            NMHDR note{};
            Notify(window, NM_KILLFOCUS, &note);
            return 0;
        }
        case WM_GETDLGCODE:
            return DLGC_WANTARROWS | DLGC_WANTCHARS;
        case WM_KEYDOWN:
            ListKeyByUser(window, static_cast<UINT>(wParam), GetKeyState(VK_CONTROL) < 0, GetKeyState(VK_SHIFT) < 0);
            return 0;
        case WM_LBUTTONDOWN:
        case WM_LBUTTONDBLCLK:
        case WM_RBUTTONDOWN: {
            LVHITTESTINFO hit{};
            hit.pt = POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
            int item = static_cast<int>(HitTest(window, &hit, false));
            UINT code = message == WM_LBUTTONDOWN ? NM_CLICK : message == WM_LBUTTONDBLCLK ? NM_DBLCLK : NM_RCLICK;
            ListClickByUser(window, item, hit.pt.x, (wParam & MK_CONTROL) != 0, (wParam & MK_SHIFT) != 0, code, hit.pt.y);
            return 0;
        }
        case WM_LBUTTONUP:
        case WM_RBUTTONUP:
        case WM_CHAR:
            return 0;
        case WM_DESTROY: {
            DeleteAll(window);
            window = OwnWindow(handle);
            if (window != nullptr && (window->style & LVS_SHAREIMAGELISTS) == 0) {
                for (HIMAGELIST& list : Data(window)->images) {
                    ImageList_Destroy(list);
                    list = nullptr;
                }
            }
            return 0;
        }
        default:
            return DefWindowProc(handle, message, wParam, lParam);
    }
}

void ListSelectByUser(Window* window, const std::vector<int>& items) {
    std::vector<int> wanted;
    ListData* data = Data(window);
    for (int index : items)
        if (Valid(data, index) && std::find(wanted.begin(), wanted.end(), index) == wanted.end())
            wanted.push_back(index);
    if (!MultiSelect(window) && wanted.size() > 1) wanted.erase(wanted.begin(), wanted.end() - 1);
    SelectExactly(window->handle, wanted, wanted.empty() ? -1 : wanted.back());
}

void ListClickByUser(Window* window, int item, int x, bool ctrl, bool shift, UINT code, int y) {
    HWND handle = window->handle;
    SetFocus(handle);
    window = OwnWindow(handle);
    if (window == nullptr) return;
    ListData* data = Data(window);
    if (!Valid(data, item)) item = -1;
    bool multi = MultiSelect(window);
    if (code == NM_RCLICK || (code == NM_DBLCLK && item >= 0)) {
        // The second press of a double click, like a right click, keeps a
        // selection that holds the item.
        if (item >= 0 && (data->items[static_cast<size_t>(item)].state & LVIS_SELECTED) == 0)
            SelectExactly(handle, {item}, item);
    } else if (item < 0) {
        if (!ctrl) SelectExactly(handle, {}, -1);
    } else if (ctrl && multi) {
        bool selected = (data->items[static_cast<size_t>(item)].state & LVIS_SELECTED) != 0;
        SetState(window, item, selected ? 0 : LVIS_SELECTED, LVIS_SELECTED);
        if (Window* still = OwnWindow(handle)) {
            SetState(still, item, LVIS_FOCUSED, LVIS_FOCUSED);
            Data(still)->mark = item;
        }
    } else if (shift && multi && data->mark >= 0) {
        int mark = data->mark;
        std::vector<int> range;
        for (int i = std::min(mark, item); i <= std::max(mark, item); ++i) range.push_back(i);
        SelectExactly(handle, range, item);
        if (Window* still = OwnWindow(handle)) Data(still)->mark = mark;
    } else {
        SelectExactly(handle, {item}, item);
    }
    window = OwnWindow(handle);
    if (window == nullptr) return;
    NMITEMACTIVATE note{};
    note.iItem = item;
    note.ptAction = POINT{x, y >= 0 ? y : item >= 0 ? HeaderHeight(window) + item * kRowHeight + kRowHeight / 2 : 0};
    note.uKeyFlags = (ctrl ? LVKF_CONTROL : 0u) | (shift ? LVKF_SHIFT : 0u);
    if (item >= 0) note.lParam = Data(window)->items[static_cast<size_t>(item)].param;
    Notify(window, code, &note.hdr);
    window = OwnWindow(handle);
    if (window == nullptr) return;
    if (code == NM_DBLCLK && item >= 0) {
        NMITEMACTIVATE activate = note;
        Notify(window, LVN_ITEMACTIVATE, &activate.hdr);
    } else if (code == NM_RCLICK) {
        SendMessage(handle, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(handle), MAKELPARAM(x, note.ptAction.y));
    }
}

void ListColumnClickByUser(Window* window, int column) {
    if (column < 0 || static_cast<size_t>(column) >= Data(window)->columns.size()) return;
    NMLISTVIEW note{};
    note.iItem = -1;
    note.iSubItem = column;
    Notify(window, LVN_COLUMNCLICK, &note.hdr);
}

bool ListKeyByUser(Window* window, UINT key, bool ctrl, bool shift) {
    HWND handle = window->handle;
    NMLVKEYDOWN note{};
    note.wVKey = static_cast<WORD>(key);
    Notify(window, LVN_KEYDOWN, &note.hdr);
    window = OwnWindow(handle);
    if (window == nullptr) return true;
    ListData* data = Data(window);
    int count = static_cast<int>(data->items.size());
    int focus = static_cast<int>(NextItem(window, -1, LVNI_FOCUSED));
    int next = -2;
    switch (key) {
        case VK_UP: next = focus < 0 ? 0 : std::max(focus - 1, 0); break;
        case VK_DOWN: next = focus < 0 ? 0 : std::min(focus + 1, count - 1); break;
        case VK_HOME: next = 0; break;
        case VK_END: next = count - 1; break;
        case VK_SPACE:
            if (ctrl && focus >= 0) {
                bool selected = (data->items[static_cast<size_t>(focus)].state & LVIS_SELECTED) != 0;
                SetState(window, focus, selected ? 0 : LVIS_SELECTED, LVIS_SELECTED);
            } else if (focus >= 0) {
                SetState(window, focus, LVIS_SELECTED, LVIS_SELECTED);
            }
            return true;
        case VK_RETURN: {
            NMHDR enter{};
            Notify(window, NM_RETURN, &enter);
            return true;
        }
        case 'A':
            if (ctrl && MultiSelect(window)) {
                std::vector<int> all;
                for (int i = 0; i < count; ++i) all.push_back(i);
                SelectExactly(handle, all, focus >= 0 ? focus : (count > 0 ? 0 : -1));
            }
            return true;
        default: return false;
    }
    if (count == 0 || next < 0) return true;
    if (ctrl) {
        SetState(window, next, LVIS_FOCUSED, LVIS_FOCUSED);
    } else if (shift && MultiSelect(window) && data->mark >= 0) {
        int mark = data->mark;
        std::vector<int> range;
        for (int i = std::min(mark, next); i <= std::max(mark, next); ++i) range.push_back(i);
        SelectExactly(handle, range, next);
        if (Window* still = OwnWindow(handle)) Data(still)->mark = mark;
    } else {
        SelectExactly(handle, {next}, next);
    }
    return true;
}

// What drawing the item shows, asking the parent for what the item leaves
// to it: the first column's text, image and state image in one request
// (the state image is always asked for with the first column), then each
// other column whose text calls back. A state image the parent answers, or
// sets on the item while it answers, is the one drawn. False when the list
// or the item went away meanwhile.
bool DrawItem(HWND handle, int index, const std::vector<int>& subItems, ListItemView& row) {
    Window* window = OwnWindow(handle);
    if (window == nullptr || !Valid(Data(window), index)) return false;
    Item item = Data(window)->items[static_cast<size_t>(index)];
    UINT callbackMask = Data(window)->callbackMask;
    bool anyCallback = item.textCallback || item.image == I_IMAGECALLBACK || callbackMask != 0;
    std::string text = item.texts[0];
    int image = item.image;
    UINT state = item.state;
    if (anyCallback) {
        UINT ask = (item.textCallback ? LVIF_TEXT : 0u) | (item.image == I_IMAGECALLBACK ? LVIF_IMAGE : 0u) | LVIF_STATE;
        UINT stateMask = LVIS_STATEIMAGEMASK | callbackMask;
        Answer answer;
        if (!AskParent(window, index, 0, ask, stateMask, &answer)) return false;
        window = OwnWindow(handle);
        const Item& now = Data(window)->items[static_cast<size_t>(index)];
        if (item.textCallback) text = answer.text;
        if (item.image == I_IMAGECALLBACK) image = answer.image;
        UINT answered = answer.state & stateMask;
        UINT asked = item.state & stateMask;
        state = now.state;
        if ((answered & LVIS_STATEIMAGEMASK) != (asked & LVIS_STATEIMAGEMASK))
            state = (state & ~LVIS_STATEIMAGEMASK) | (answered & LVIS_STATEIMAGEMASK);
        state = (state & ~callbackMask) | (answered & callbackMask);
        item = now;
    }
    row.texts.clear();
    for (int subItem : subItems) {
        if (subItem == 0) {
            row.texts.push_back(text);
        } else if (IsCallback(item, subItem)) {
            Answer answer;
            if (!AskParent(OwnWindow(handle), index, subItem, LVIF_TEXT, 0, &answer)) return false;
            row.texts.push_back(answer.text);
        } else {
            row.texts.push_back(static_cast<size_t>(subItem) < item.texts.size() ? item.texts[static_cast<size_t>(subItem)]
                                                                                   : std::string());
        }
    }
    row.image = image;
    row.stateImage = static_cast<int>(STATEIMAGEMASKTOINDEX(state));
    row.selected = (state & LVIS_SELECTED) != 0;
    row.focused = (state & LVIS_FOCUSED) != 0;
    return true;
}

std::vector<int> ShownSubItems(ListData* data) {
    std::vector<int> subItems;
    for (const Column& column : data->columns) subItems.push_back(column.subItem);
    if (subItems.empty()) subItems.push_back(0);
    return subItems;
}

void DescribeListView(Window* window, WindowView& view) {
    HWND handle = window->handle;
    ListViewState list;
    ListData* data = Data(window);
    list.multiSelect = MultiSelect(window);
    list.report = (window->style & LVS_TYPEMASK) == LVS_REPORT;
    list.smallImages = ImageNames(data->images[LVSIL_SMALL]);
    list.stateImages = ImageNames(data->images[LVSIL_STATE]);
    list.normalImages = ImageNames(data->images[LVSIL_NORMAL]);
    for (const Column& column : data->columns) list.columns.push_back(ListColumnView{column.text, column.width, column.format});
    std::vector<int> subItems = ShownSubItems(data);
    for (size_t i = 0;; ++i) {
        window = OwnWindow(handle);
        if (window == nullptr || i >= Data(window)->items.size()) break;
        ListItemView row;
        if (!DrawItem(handle, static_cast<int>(i), subItems, row)) break;
        list.items.push_back(std::move(row));
    }
    view.list = std::move(list);
}

}  // namespace kv::ui::detail

bool kv::ui::DrawListItem(HWND list, int index, ListItemView* row) {
    using namespace kv::ui::detail;
    if (row == nullptr) return false;
    return OnOwnerThread(list, [list, index, row]() -> LRESULT {
        Window* window = OwnWindow(list);
        if (window == nullptr || window->kind != WindowKind::ListView) return FALSE;
        return DrawItem(list, index, ShownSubItems(Data(window)), *row) ? TRUE : FALSE;
    }) != 0;
}
