#include "platform/mmc/host/ContextMenu.h"

#include "platform/mmc/host/ConsoleObjects.h"
#include "platform/mmc/host/WideText.h"

namespace kv::mmc {

void* ContextMenuCallback::FindInterface(REFIID riid) {
    if (riid == IID_IUnknown || riid == IID_IContextMenuCallback) return static_cast<IContextMenuCallback*>(this);
    return nullptr;
}

HRESULT ContextMenuCallback::AddItem(CONTEXTMENUITEM* item) {
    if (item == nullptr) return E_POINTER;
    // A menu the snap-in builds in a loop gone wrong must not grow without end.
    if (m_entries.size() >= 256) return E_OUTOFMEMORY;
    if (item->fSpecialFlags & CCM_SPECIAL_TESTONLY) return S_OK;
    Entry entry;
    entry.name = item->strName ? std::u16string(item->strName) : std::u16string();
    entry.status = item->strStatusBarText ? std::u16string(item->strStatusBarText) : std::u16string();
    entry.commandId = item->lCommandID;
    entry.insertionPoint = item->lInsertionPointID;
    entry.flags = item->fFlags;
    entry.specialFlags = item->fSpecialFlags;
    if (!(entry.specialFlags & (CCM_SPECIAL_SEPARATOR | CCM_SPECIAL_SUBMENU)) &&
        (entry.commandId & static_cast<LONG>(CCM_COMMANDID_MASK_RESERVED)) != 0)
        return E_INVALIDARG;  // the high word of a command id is the console's
    m_entries.push_back(entry);
    return S_OK;
}

namespace {

MenuItemView FromEntry(const ContextMenuCallback::Entry& entry,
                       const std::vector<ContextMenuCallback::Entry>& all, int depth) {
    MenuItemView item;
    if ((entry.specialFlags & CCM_SPECIAL_SEPARATOR) || (entry.flags & MF_SEPARATOR)) {
        item.separator = true;
        return item;
    }
    item.text = Narrow(entry.name);
    item.status = Narrow(entry.status);
    item.enabled = !(entry.flags & (MF_GRAYED | MF_DISABLED));
    item.checked = (entry.flags & MF_CHECKED) != 0;
    item.isDefault = (entry.specialFlags & CCM_SPECIAL_DEFAULT_ITEM) != 0;
    if ((entry.specialFlags & CCM_SPECIAL_SUBMENU) || (entry.flags & MF_POPUP)) {
        // A submenu's own id is the insertion point of its items.
        if (depth < 4)
            for (const auto& child : all)
                if (child.insertionPoint == entry.commandId) item.children.push_back(FromEntry(child, all, depth + 1));
        return item;
    }
    item.command = "cmd:" + std::to_string(entry.commandId);
    return item;
}

bool IsAt(LONG insertionPoint, std::initializer_list<LONG> points) {
    for (LONG p : points)
        if (insertionPoint == p) return true;
    return false;
}

MenuItemView Submenu(const char* text, std::vector<MenuItemView> children) {
    MenuItemView item;
    item.text = text;
    item.children = std::move(children);
    return item;
}

MenuItemView Verb(const char* text, const char* name, const char* status) {
    MenuItemView item;
    item.text = text;
    item.command = std::string("verb:") + name;
    item.status = status;
    return item;
}

MenuItemView Separator() {
    MenuItemView item;
    item.separator = true;
    return item;
}

}  // namespace

std::vector<MenuItemView> ArrangeContextMenu(const std::vector<ContextMenuCallback::Entry>& entries,
                                             const ConsoleVerbs& verbs) {
    std::vector<MenuItemView> top, created, tasks, views;
    for (const auto& entry : entries) {
        LONG point = entry.insertionPoint;
        if (IsAt(point, {CCM_INSERTIONPOINTID_PRIMARY_TOP, CCM_INSERTIONPOINTID_ROOT_MENU}))
            top.push_back(FromEntry(entry, entries, 0));
        else if (IsAt(point, {CCM_INSERTIONPOINTID_PRIMARY_NEW, CCM_INSERTIONPOINTID_3RDPARTY_NEW}))
            created.push_back(FromEntry(entry, entries, 0));
        else if (IsAt(point, {CCM_INSERTIONPOINTID_PRIMARY_TASK, CCM_INSERTIONPOINTID_3RDPARTY_TASK}))
            tasks.push_back(FromEntry(entry, entries, 0));
        else if (point == CCM_INSERTIONPOINTID_PRIMARY_VIEW)
            views.push_back(FromEntry(entry, entries, 0));
        // Items at a submenu's own insertion point were placed with it.
    }
    std::vector<MenuItemView> menu = top;
    if (!created.empty()) menu.push_back(Submenu("New", created));
    if (!tasks.empty()) menu.push_back(Submenu("All Tasks", tasks));
    if (!views.empty()) menu.push_back(Submenu("View", views));

    std::vector<MenuItemView> verbItems;
    if (verbs.Visible(MMC_VERB_DELETE)) verbItems.push_back(Verb("Delete", "delete", "Deletes the current selection."));
    if (verbs.Visible(MMC_VERB_RENAME)) verbItems.push_back(Verb("Rename", "rename", "Renames the current selection."));
    if (verbs.Visible(MMC_VERB_REFRESH)) verbItems.push_back(Verb("Refresh", "refresh", "Refreshes the current selection."));
    if (!verbItems.empty()) {
        if (!menu.empty()) menu.push_back(Separator());
        menu.insert(menu.end(), verbItems.begin(), verbItems.end());
    }
    if (verbs.Visible(MMC_VERB_PROPERTIES)) {
        if (!menu.empty()) menu.push_back(Separator());
        MenuItemView properties = Verb("Properties", "properties", "Opens the properties dialog box for the current selection.");
        properties.isDefault = true;
        menu.push_back(properties);
    }
    return menu;
}

}  // namespace kv::mmc
