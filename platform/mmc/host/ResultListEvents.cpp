// What the console does with its result list: the scope rows it lists, the
// display information it asks of the snap-in for the list, the selection
// it reports, and the user's clicks and keys, which reach the list as the
// mouse and key messages of its thread (where the snap-in's hooks see them).
#include <algorithm>
#include <cstring>

#include "platform/mmc/host/ConsoleHost.h"
#include "platform/mmc/host/ConsoleObjects.h"
#include "platform/mmc/host/ContextMenu.h"
#include "platform/mmc/host/MultiSelectData.h"
#include "platform/mmc/host/ResultPane.h"
#include "platform/mmc/host/View.h"
#include "platform/mmc/host/WideText.h"
#include "platform/ui/Display.h"

namespace kv::mmc {

namespace {

// Copies UTF-8 into the list's buffer without splitting a character.
void CopyText(const std::string& text, LPSTR buffer, int size) {
    if (buffer == nullptr || buffer == LPSTR_TEXTCALLBACK || size <= 0) return;
    size_t length = std::min(text.size(), static_cast<size_t>(size - 1));
    while (length > 0 && length < text.size() && (static_cast<unsigned char>(text[length]) & 0xC0) == 0x80) --length;
    std::memcpy(buffer, text.data(), length);
    buffer[length] = '\0';
}

}  // namespace

void ConsoleHost::SyncScopeRows(View& view) {
    std::vector<std::pair<HSCOPEITEM, MMC_COOKIE>> children;
    const ScopeItem* shown = m_tree.Find(view.selectedScope);
    if (view.kind == ResultKind::List && shown && !(view.viewOptions & MMC_VIEW_OPTIONS_EXCLUDE_SCOPE_ITEMS_FROM_LIST)) {
        for (HSCOPEITEM childId : shown->children)
            if (const ScopeItem* child = m_tree.Find(childId)) children.emplace_back(childId, child->cookie);
    }
    view.list.SetScopeRows(children);
}

void ConsoleHost::ListChanged() {
    if (!m_drawing) Changed();
}

void ConsoleHost::AnswerDisplayInfo(View& view, NMLVDISPINFO* info) {
    LVITEMA& item = info->item;
    int index = item.iItem;
    if (view.component == nullptr || index < 0 || index >= view.list.Count()) return;
    const ResultRow row = view.list.RowAt(index);
    RESULTDATAITEM request{};
    request.mask = ((item.mask & LVIF_TEXT) != 0 ? RDI_STR : 0) | ((item.mask & LVIF_IMAGE) != 0 ? RDI_IMAGE : 0);
    if (request.mask == 0) return;  // the state is the console's own
    request.nCol = item.iSubItem;
    request.lParam = item.lParam;
    request.nImage = item.iImage;
    if (row.scopeItem != 0) {
        const ScopeItem* scope = m_tree.Find(row.scopeItem);
        if (scope == nullptr) return;
        request.bScopeItem = TRUE;
        request.lParam = scope->cookie;
        request.nImage = scope->image;
    } else {
        request.itemID = row.id;
    }
    HRESULT hr = view.component->GetDisplayInfo(&request);
    if ((item.mask & LVIF_TEXT) != 0) {
        std::string text = SUCCEEDED(hr) && request.str && request.str != MMC_CALLBACK ? Narrow(request.str) : std::string();
        if (text.empty() && row.scopeItem != 0 && item.iSubItem == 0) text = ScopeName(row.scopeItem);
        CopyText(text, item.pszText, item.cchTextMax);
    }
    if ((item.mask & LVIF_IMAGE) != 0) item.iImage = SUCCEEDED(hr) ? request.nImage : -1;
}

void ConsoleHost::UserAction(View& view, const std::function<void()>& action) {
    if (view.component == nullptr || m_drawing) return;
    m_activeView = view.id;
    ++m_commandDepth;
    action();
    --m_commandDepth;
    ServiceViews();
    Changed();
}

LRESULT ConsoleHost::ResultListNotify(View& view, NMHDR* header) {
    switch (header->code) {
        case LVN_GETDISPINFO:
            AnswerDisplayInfo(view, reinterpret_cast<NMLVDISPINFO*>(header));
            return 0;
        case NM_CLICK:
            UserAction(view, [&] { ResultSelectionChanged(view, false); });
            return 0;
        case NM_DBLCLK: {
            int index = reinterpret_cast<NMITEMACTIVATE*>(header)->iItem;
            UserAction(view, [&] {
                ResultSelectionChanged(view, false);
                if (index >= 0) ActivateRow(view, index);
            });
            return 0;
        }
        case NM_RCLICK:
            UserAction(view, [&] {
                ResultSelectionChanged(view, false);
                if (view.selectionCount > 0) OpenContextMenu(view, false, 0);
            });
            return 0;
        case NM_RETURN:
            UserAction(view, [&] {
                ResultSelectionChanged(view, false);
                int focused = static_cast<int>(SendMessage(view.list.Control(), LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_FOCUSED));
                if (focused >= 0) ActivateRow(view, focused);
            });
            return 0;
        case LVN_KEYDOWN:
            // The key moves the selection after this notification.
            if (view.pane != nullptr) PostSelectionCheck(view.pane);
            return 0;
        case LVN_ITEMCHANGED:
            ListChanged();
            return 0;
        default:
            return 0;
    }
}

void ConsoleHost::ResultSelectionChanged(View& view, bool force) {
    if (view.component == nullptr) return;
    std::vector<int> selected = view.list.Selected();
    std::vector<std::pair<HRESULTITEM, HSCOPEITEM>> now;
    for (int index : selected) now.emplace_back(view.list.RowAt(index).id, view.list.RowAt(index).scopeItem);
    if (!force && now == view.lastSelection) return;
    view.lastSelection = now;
    view.menu.clear();
    view.menuId = 0;
    view.renameTarget.clear();
    // The previous selection hears that it is left.
    if (view.selectionObject) {
        LPDATAOBJECT previous = view.selectionObject;
        view.selectionObject = nullptr;
        view.component->Notify(previous, MMCN_SELECT, MAKELONG(FALSE, FALSE), 0);
        previous->Release();
    }
    std::vector<int> results;
    std::vector<HSCOPEITEM> scopes;
    for (int index : selected) {
        if (view.list.RowAt(index).scopeItem != 0) scopes.push_back(view.list.RowAt(index).scopeItem);
        else results.push_back(index);
    }
    view.selectedScopeRows = scopes;
    view.selectionCount = static_cast<int>(results.size() + scopes.size());
    view.selectionIsScopeItem = false;
    view.selectionScopeItem = 0;
    view.selectionCookie = 0;
    view.verbs->Reset();
    if (view.selectionCount == 0) {
        view.focus = "scope";
        if (view.shownDataObject) view.component->Notify(view.shownDataObject, MMCN_SELECT, MAKELONG(TRUE, TRUE), 0);
        return;
    }
    view.focus = "result";
    LPDATAOBJECT object = nullptr;
    if (view.selectionCount == 1 && scopes.size() == 1) {
        view.selectionIsScopeItem = true;
        view.selectionScopeItem = scopes.front();
        view.selectionCookie = m_tree.Find(scopes.front())->cookie;
        ScopeDataObject(scopes.front(), &object);
    } else if (view.selectionCount == 1) {
        view.selectionCookie = view.list.ParamAt(results.front());
        view.component->QueryDataObject(view.selectionCookie, CCT_RESULT, &object);
    } else {
        LPDATAOBJECT snapinObject = nullptr;
        view.component->QueryDataObject(MMC_MULTI_SELECT_COOKIE, CCT_RESULT, &snapinObject);
        if (snapinObject) {
            object = CreateMultiSelectDataObject({snapinObject});
            snapinObject->Release();
        }
    }
    view.selectionObject = object;
    if (object) view.component->Notify(object, MMCN_SELECT, MAKELONG(FALSE, TRUE), 0);
}

void ConsoleHost::ActivateRow(View& view, int index) {
    if (index < 0 || index >= view.list.Count()) return;
    ResultRow row = view.list.RowAt(index);
    if (row.scopeItem != 0) {
        if (m_tree.Find(row.scopeItem)) {
            view.expanded.insert(view.selectedScope);
            SelectScopeItem(view, row.scopeItem);
        }
        return;
    }
    LPDATAOBJECT object = nullptr;
    view.component->QueryDataObject(view.list.ParamAt(index), CCT_RESULT, &object);
    HRESULT hr = view.component->Notify(object, MMCN_DBLCLICK, 0, 0);
    if (object) object->Release();
    // S_FALSE asks for the default verb.
    if (hr == S_FALSE && view.verbs->Visible(MMC_VERB_PROPERTIES)) OpenProperties(view, false, 0);
}

void ConsoleHost::OpenContextMenu(View& view, bool scopePane, HSCOPEITEM item) {
    view.menu.clear();
    view.menuId = 0;
    if (view.menuDataObject) view.menuDataObject->Release();
    if (view.menuTarget) view.menuTarget->Release();
    view.menuDataObject = nullptr;
    view.menuTarget = nullptr;
    IUnknown* owner = nullptr;
    if (scopePane) {
        if (m_tree.Find(item) == nullptr) return;
        // The right-clicked node becomes the selection, so the verbs
        // offered are its own.
        if (view.selectedScope != item) {
            SelectScopeItem(view, item);
        } else if (view.focus != "scope") {
            view.verbs->Reset();
            view.focus = "scope";
            if (view.shownDataObject) view.component->Notify(view.shownDataObject, MMCN_SELECT, MAKELONG(TRUE, TRUE), 0);
        }
        ScopeDataObject(item, &view.menuDataObject);
        owner = m_componentData;
        view.menuScopeItem = item;
    } else {
        if (view.SelectionDataObject(&view.menuDataObject, nullptr, nullptr) != S_OK) return;
        owner = view.selectionIsScopeItem ? static_cast<IUnknown*>(m_componentData) : static_cast<IUnknown*>(view.component);
        view.menuScopeItem = view.selectionIsScopeItem ? view.selectionScopeItem : 0;
    }
    view.menuScopePane = scopePane;
    ContextMenuCallback callback;
    if (owner && view.menuDataObject &&
        SUCCEEDED(owner->QueryInterface(IID_IExtendContextMenu, reinterpret_cast<void**>(&view.menuTarget))) &&
        view.menuTarget) {
        long allowed = CCM_INSERTIONALLOWED_TOP | CCM_INSERTIONALLOWED_NEW | CCM_INSERTIONALLOWED_TASK | CCM_INSERTIONALLOWED_VIEW;
        view.menuTarget->AddMenuItems(view.menuDataObject, &callback, &allowed);
    }
    view.menu = ArrangeContextMenu(callback.Entries(), *view.verbs);
    static uint64_t nextMenu = 1;
    view.menuId = nextMenu++;
}

void ConsoleHost::ListInput(View& view, const HostCommand& command) {
    HWND list = view.list.Control();
    if (list == nullptr || view.kind != ResultKind::List) return;
    SyncScopeRows(view);
    UINT message = command.name == "lbuttondown"     ? WM_LBUTTONDOWN
                   : command.name == "lbuttonup"     ? WM_LBUTTONUP
                   : command.name == "lbuttondblclk" ? WM_LBUTTONDBLCLK
                   : command.name == "rbuttondown"   ? WM_RBUTTONDOWN
                   : command.name == "keydown"       ? WM_KEYDOWN
                   : command.name == "char"          ? WM_CHAR
                                                     : WM_NULL;
    if (message == WM_NULL) return;
    if (message == WM_KEYDOWN || message == WM_CHAR) {
        kv::ui::PostUserMessage(list, message, command.key, 1, command.ctrl, command.shift, message == WM_KEYDOWN ? command.key : 0);
        return;
    }
    // The point in the list's client area: the row's middle, `x` from the
    // row's left edge; below the last row for a click on empty space.
    RECT bounds{};
    int rows = view.list.Count();
    int y;
    if (command.row >= 0 && command.row < rows) {
        bounds.left = LVIR_BOUNDS;
        SendMessage(list, LVM_GETITEMRECT, static_cast<WPARAM>(command.row), reinterpret_cast<LPARAM>(&bounds));
        y = (bounds.top + bounds.bottom) / 2;
    } else {
        bounds.left = LVIR_BOUNDS;
        if (rows > 0 && SendMessage(list, LVM_GETITEMRECT, static_cast<WPARAM>(rows - 1), reinterpret_cast<LPARAM>(&bounds)))
            y = bounds.bottom + 4;
        else
            y = 30000;
    }
    WPARAM keys = (message == WM_RBUTTONDOWN ? MK_RBUTTON : message == WM_LBUTTONUP ? 0 : MK_LBUTTON) |
                  (command.ctrl ? MK_CONTROL : 0) | (command.shift ? MK_SHIFT : 0);
    kv::ui::PostUserMessage(list, message, keys, MAKELPARAM(command.x, std::min(y, 32767)), command.ctrl, command.shift);
}

}  // namespace kv::mmc
