#include "console/snapin/ResultListHooks.h"

#include <algorithm>
#include <vector>

#include "common/DebugLog.h"
#include "console/dialogs/SetFilesWaitDlg.h"
#include "console/nodes/FilesRootNode.h"
#include "console/snapin/Component.h"
#include "console/snapin/ComponentData.h"
#include "console/tree/FileNode.h"
#include "console/tree/ItemProfile.h"
#include "platform/ui/CommCtrl.h"

namespace {

// The state-image column: a click or double click this far from the row's
// left edge is on the state image.
const int kStateImageWidth = 15;

struct HookState {
    HHOOK callWndHook = nullptr;
    HHOOK getMessageHook = nullptr;
    std::vector<CComponent*> views;  // views of this thread showing a folder
    HWND list = nullptr;             // the list that asked for display info last
    std::vector<HWND> lists;         // every list seen asking, one per view
    HWND parent = nullptr;
    WNDPROC previous = nullptr;      // the parent's procedure while HandleMsg stands in
};

thread_local HookState g_hooks;
// Set while the filter acts on the lists; cleared while a click's change runs
// its own dialogs, whose messages are not the list's.
thread_local bool g_bFiltering = true;

// The five state images, at the small-icon size; the list's state image n
// is image n - 1, so image 0 is never drawn.
// One strip for the process: a list may still hold it while the hooks come
// and go with the folders shown.
HIMAGELIST StateImageStrip() {
    static const HIMAGELIST strip = [] {
        static const char* const names[] = {"checkbox-symbolic", "checkbox-symbolic", "checkbox-checked-symbolic",
                                            "checkbox-mixed-symbolic", "radio-mixed-symbolic"};
        HIMAGELIST images = ImageList_Create(16, 16, ILC_COLOR32 | ILC_MASK, 5, 0);
        for (const char* name : names) ImageList_AddNamed(images, name);
        return images;
    }();
    return strip;
}

// The file node behind a list item, when a view of this thread shows it.
CFileNode* NodeOfItem(HWND list, int index) {
    if (index < 0) return nullptr;
    LVITEM item{};
    item.mask = LVIF_PARAM;
    item.iItem = index;
    if (!SendMessage(list, LVM_GETITEM, 0, reinterpret_cast<LPARAM>(&item))) return nullptr;
    auto* candidate = reinterpret_cast<CNode*>(item.lParam);
    // Only a pointer found among the shown nodes is followed.
    for (CComponent* view : g_hooks.views) {
        CNode* shown = view->m_pShownNode;
        if (shown == nullptr) continue;
        if (std::find(shown->m_children.begin(), shown->m_children.end(), candidate) != shown->m_children.end())
            return static_cast<CFileNode*>(candidate);
    }
    return nullptr;
}

bool ShowsFolder(CComponent* view) {
    return view != nullptr && (dynamic_cast<CFileNode*>(view->m_pShownNode) != nullptr ||
                               dynamic_cast<CFilesRootNode*>(view->m_pShownNode) != nullptr);
}

int ItemAt(HWND list, POINT point) {
    const int count = static_cast<int>(SendMessage(list, LVM_GETITEMCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        RECT bounds{};
        bounds.left = LVIR_BOUNDS;
        if (!SendMessage(list, LVM_GETITEMRECT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&bounds))) continue;
        if (point.x >= bounds.left && point.x < bounds.right && point.y >= bounds.top && point.y < bounds.bottom) return i;
    }
    return -1;
}

void ToggleItemAt(HWND list, POINT point) {
    const int index = ItemAt(list, point);
    CFileNode* node = NodeOfItem(list, index);
    if (node == nullptr || node->m_pComponentData == nullptr) return;
    CComponent* view = g_hooks.views.empty() ? nullptr : g_hooks.views.front();
    const bool saved = g_bFiltering;
    g_bFiltering = false;
    node->ChangeItemProfile(node->m_item.profile == 0 ? 1 : 0, view);
    g_bFiltering = saved;
    SendMessage(list, LVM_REDRAWITEMS, static_cast<WPARAM>(index), index);
}

}  // namespace

LRESULT HookLVPProc(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HC_ACTION && lParam != 0) {
        const auto* sent = reinterpret_cast<const CWPSTRUCT*>(lParam);
        const auto* header = sent->message == WM_NOTIFY ? reinterpret_cast<const NMHDR*>(sent->lParam) : nullptr;
        if (header != nullptr && header->code == LVN_GETDISPINFO && g_hooks.previous == nullptr) {
            WriteDebugLog(7, ">>HookLVPProc - GetDispInfo");
            g_hooks.list = header->hwndFrom;
            g_hooks.parent = sent->hwnd;
            if (std::find(g_hooks.lists.begin(), g_hooks.lists.end(), g_hooks.list) == g_hooks.lists.end())
                g_hooks.lists.push_back(g_hooks.list);
            if (ListView_GetImageList(g_hooks.list, LVSIL_STATE) != StateImageStrip()) {
                (void)ListView_SetImageList(g_hooks.list, StateImageStrip(), LVSIL_STATE);
                // Set while the list draws: drawn with the next update.
                PostMessage(g_hooks.list, LVM_UPDATE, 0, 0);
            }
            g_hooks.previous = reinterpret_cast<WNDPROC>(
                SetWindowLongPtr(sent->hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&HandleMsg)));
            WriteDebugLog(7, "<<HookLVPProc - GetDispInfo");
        }
    }
    return CallNextHookEx(g_hooks.callWndHook, code, wParam, lParam);
}

LRESULT HandleMsg(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    WNDPROC previous = g_hooks.previous;
    if (previous == nullptr) return 0;
    const auto* header = message == WM_NOTIFY ? reinterpret_cast<const NMHDR*>(lParam) : nullptr;
    if (header == nullptr || header->code != LVN_GETDISPINFO) return CallWindowProc(previous, window, message, wParam, lParam);

    WriteDebugLog(7, ">>HandleMsg - GetDispInfo");
    LRESULT result = CallWindowProc(previous, window, message, wParam, lParam);
    auto* info = reinterpret_cast<NMLVDISPINFO*>(lParam);
    if (info->item.iSubItem == 0 && (info->item.mask & LVIF_STATE) && (info->item.stateMask & LVIS_STATEIMAGEMASK)) {
        CFileNode* node = NodeOfItem(header->hwndFrom, info->item.iItem);
        if (node != nullptr && node->m_pComponentData != nullptr) {
            // While the worker writes the settings, the state drawn is the one
            // it already has: the database belongs to the worker then.
            int state = node->m_state;
            if (!SettingFilesBusy()) {
                std::lock_guard<std::recursive_mutex> lock(TreeDataMutex());
                state = node->ComputeState(node->m_pComponentData->m_data);
            }
            info->item.state = (info->item.state & ~LVIS_STATEIMAGEMASK) | INDEXTOSTATEIMAGEMASK(state + 2);
        }
    }
    SetWindowLongPtr(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previous));
    g_hooks.previous = nullptr;
    WriteDebugLog(7, "<<HandleMsg - GetDispInfo");
    return result;
}

LRESULT HookInputProc(int code, WPARAM wParam, LPARAM lParam) {
    auto* msg = reinterpret_cast<MSG*>(lParam);
    if (code != HC_ACTION || msg == nullptr || !g_bFiltering ||
        std::find(g_hooks.lists.begin(), g_hooks.lists.end(), msg->hwnd) == g_hooks.lists.end())
        return CallNextHookEx(g_hooks.getMessageHook, code, wParam, lParam);
    const bool shift = GetKeyState(VK_SHIFT) < 0;
    const bool ctrl = GetKeyState(VK_CONTROL) < 0;
    const POINT point{GET_X_LPARAM(msg->lParam), GET_Y_LPARAM(msg->lParam)};
    switch (msg->message) {
        case WM_LBUTTONDOWN:
            // No range selection.
            if (shift) {
                msg->message = WM_NULL;
                break;
            }
            if (point.x <= kStateImageWidth) {
                // The list selects first, then the state image acts.
                const MSG press = *msg;
                msg->message = WM_NULL;
                DispatchMessage(&press);
                bool showsFolder = false;
                for (CComponent* view : g_hooks.views) showsFolder = showsFolder || ShowsFolder(view);
                if (showsFolder) ToggleItemAt(press.hwnd, point);
            }
            break;
        case WM_LBUTTONDBLCLK:
            if (point.x <= kStateImageWidth) msg->message = WM_NULL;
            break;
        case WM_KEYDOWN:
        case WM_CHAR:
            // No range selection and no select-all.
            if (shift || msg->wParam == 'A' || msg->wParam == 'a' || (ctrl && GetKeyState('A') < 0))
                msg->message = WM_NULL;
            break;
        default:
            break;
    }
    return CallNextHookEx(g_hooks.getMessageHook, code, wParam, lParam);
}

void InstallResultListHooks(CComponent* view) {
    if (view == nullptr) return;
    if (std::find(g_hooks.views.begin(), g_hooks.views.end(), view) == g_hooks.views.end()) g_hooks.views.push_back(view);
    const DWORD thread = GetCurrentThreadId();
    if (g_hooks.callWndHook == nullptr) g_hooks.callWndHook = SetWindowsHookEx(WH_CALLWNDPROC, &HookLVPProc, nullptr, thread);
    if (g_hooks.getMessageHook == nullptr)
        g_hooks.getMessageHook = SetWindowsHookEx(WH_GETMESSAGE, &HookInputProc, nullptr, thread);
}

void RemoveResultListHooks(CComponent* view) {
    auto& views = g_hooks.views;
    views.erase(std::remove(views.begin(), views.end(), view), views.end());
    if (!views.empty()) return;
    if (g_hooks.callWndHook != nullptr) UnhookWindowsHookEx(g_hooks.callWndHook);
    if (g_hooks.getMessageHook != nullptr) UnhookWindowsHookEx(g_hooks.getMessageHook);
    if (g_hooks.previous != nullptr && g_hooks.parent != nullptr)
        SetWindowLongPtr(g_hooks.parent, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(g_hooks.previous));
    // Other nodes' lists show no state images.
    for (HWND list : g_hooks.lists)
        if (IsWindow(list) && ListView_GetImageList(list, LVSIL_STATE) == StateImageStrip())
            (void)ListView_SetImageList(list, nullptr, LVSIL_STATE);
    g_hooks = HookState{};
}
