#include "tests/mmc_fixture/FileListHooks.h"

#include <map>

#include "platform/ui/CommCtrl.h"

namespace filelist {
namespace {

// The user-interface thread's alone, as the hooks are.
HHOOK g_callHook = nullptr;
HHOOK g_messageHook = nullptr;
WNDPROC g_previous = nullptr;
HWND g_list = nullptr;
HIMAGELIST g_states = nullptr;
LogLine g_log = nullptr;
// The state image of each file: 1 unassigned, 2 assigned.
std::map<MMC_COOKIE, int> g_state;

void Log(const std::string& line) {
    if (g_log != nullptr) g_log(line);
}

int StateOf(LPARAM cookie) {
    auto it = g_state.find(cookie);
    return it == g_state.end() ? 0 : it->second;
}

// The pane's procedure for one request: the console answers first, then
// the state is computed afresh and drawn. Even rows answer in the request,
// odd rows set it on the item; both must show.
LRESULT HandleMsg(HWND pane, UINT message, WPARAM wParam, LPARAM lParam) {
    WNDPROC previous = g_previous;
    LRESULT result = CallWindowProc(previous, pane, message, wParam, lParam);
    if (message != WM_NOTIFY || reinterpret_cast<NMHDR*>(lParam)->code != LVN_GETDISPINFO) return result;
    auto* info = reinterpret_cast<NMLVDISPINFO*>(lParam);
    LVITEMA& item = info->item;
    if (item.iSubItem == 0 && (item.mask & LVIF_STATE) != 0 && (item.stateMask & LVIS_STATEIMAGEMASK) != 0) {
        UINT image = INDEXTOSTATEIMAGEMASK(StateOf(item.lParam));
        if (item.iItem % 2 == 0)
            item.state = (item.state & ~LVIS_STATEIMAGEMASK) | image;
        else
            ListView_SetItemState(info->hdr.hwndFrom, item.iItem, image, LVIS_STATEIMAGEMASK);
    }
    SetWindowLongPtr(pane, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previous));
    g_previous = nullptr;
    return result;
}

LRESULT CallHook(int code, WPARAM wParam, LPARAM lParam) {
    auto* call = reinterpret_cast<CWPSTRUCT*>(lParam);
    if (code == HC_ACTION && call->message == WM_NOTIFY && g_previous == nullptr) {
        auto* header = reinterpret_cast<NMHDR*>(call->lParam);
        if (header->code == LVN_GETDISPINFO) {
            g_list = header->hwndFrom;
            if (ListView_GetImageList(g_list, LVSIL_STATE) == nullptr) {
                if (g_states == nullptr) {
                    g_states = ImageList_Create(16, 16, ILC_COLOR32, 2, 0);
                    ImageList_AddNamed(g_states, "checkbox");
                    ImageList_AddNamed(g_states, "checkbox-checked");
                }
                ListView_SetImageList(g_list, g_states, LVSIL_STATE);
            }
            g_previous = reinterpret_cast<WNDPROC>(
                SetWindowLongPtr(call->hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(HandleMsg)));
        }
    }
    return CallNextHookEx(g_callHook, code, wParam, lParam);
}

LRESULT MessageHook(int code, WPARAM wParam, LPARAM lParam) {
    MSG* msg = reinterpret_cast<MSG*>(lParam);
    bool press = msg->message == WM_LBUTTONDOWN || msg->message == WM_LBUTTONDBLCLK;
    if (code == HC_ACTION && g_list != nullptr && msg->hwnd == g_list && press) {
        LVHITTESTINFO hit{};
        hit.pt = POINT{GET_X_LPARAM(msg->lParam), GET_Y_LPARAM(msg->lParam)};
        int item = ListView_HitTest(g_list, &hit);
        if (GetKeyState(VK_SHIFT) < 0) {
            Log("swallowed shift click on " + std::to_string(item));
            msg->message = WM_NULL;
        } else {
            bool onState = (hit.flags & LVHT_ONITEMSTATEICON) != 0;
            Log("click x=" + std::to_string(hit.pt.x) + " item=" + std::to_string(item) + (onState ? " state image" : " label") +
                (GetKeyState(VK_CONTROL) < 0 ? " ctrl" : ""));
            if (onState && item >= 0 && msg->message == WM_LBUTTONDOWN) {
                LVITEMA found{};
                found.mask = LVIF_PARAM;
                found.iItem = item;
                ListView_GetItem(g_list, &found);
                int& state = g_state[found.lParam];
                state = state == 2 ? 1 : 2;
                ListView_RedrawItems(g_list, item, item);
            }
        }
    }
    return CallNextHookEx(g_messageHook, code, wParam, lParam);
}

}  // namespace

void Show(IResultData* results, LogLine log) {
    g_log = log;
    for (int i = 0; i < kFileCount; ++i) {
        MMC_COOKIE cookie = kFirstFile + i;
        if (g_state.count(cookie) == 0) g_state[cookie] = i == 1 ? 2 : 1;
        RESULTDATAITEM item{};
        item.mask = RDI_STR | RDI_IMAGE | RDI_PARAM;
        item.str = MMC_CALLBACK;
        item.nImage = MMC_IMAGECALLBACK;
        item.lParam = cookie;
        results->InsertItem(&item);
    }
    if (g_callHook == nullptr) g_callHook = SetWindowsHookEx(WH_CALLWNDPROC, CallHook, nullptr, GetCurrentThreadId());
    if (g_messageHook == nullptr) g_messageHook = SetWindowsHookEx(WH_GETMESSAGE, MessageHook, nullptr, GetCurrentThreadId());
    Log(g_callHook && g_messageHook ? "file hooks on" : "file hooks refused");
}

void Hide() {
    if (g_callHook) UnhookWindowsHookEx(g_callHook);
    if (g_messageHook) UnhookWindowsHookEx(g_messageHook);
    g_callHook = g_messageHook = nullptr;
    g_list = nullptr;
    Log("file hooks off");
}

std::u16string Name(MMC_COOKIE cookie) {
    static const char16_t* const kNames[kFileCount] = {u"alpha.txt", u"beta.txt", u"gamma.txt"};
    if (cookie < kFirstFile || cookie >= kFirstFile + kFileCount) return u"?";
    return kNames[cookie - kFirstFile];
}

}  // namespace filelist
