#include "platform/mmc/host/ResultPane.h"

#include <atomic>

#include "platform/mmc/host/ConsoleHost.h"
#include "platform/mmc/host/View.h"
#include "platform/ui/CommCtrl.h"

namespace kv::mmc {

namespace {

const char* const kPaneClass = "MMCResultPane";
constexpr int kListId = 1;
// The pane's own message: look at the list's selection now.
constexpr UINT WM_CHECK_SELECTION = WM_APP + 0x31;

// The list view's own procedure (every list has the same).
std::atomic<WNDPROC> g_listProc{nullptr};

View* ViewOf(HWND pane) { return reinterpret_cast<View*>(GetWindowLongPtr(pane, GWLP_USERDATA)); }

LRESULT ResultPaneProc(HWND pane, UINT message, WPARAM wParam, LPARAM lParam) {
    View* view = ViewOf(pane);
    if (view != nullptr) {
        if (message == WM_NOTIFY && lParam != 0) {
            auto* header = reinterpret_cast<NMHDR*>(lParam);
            if (header->hwndFrom == view->list.Control()) return view->Host().ResultListNotify(*view, header);
        } else if (message == WM_CHECK_SELECTION) {
            view->Host().ResultSelectionChanged(*view, false);
            return 0;
        }
    }
    return DefWindowProc(pane, message, wParam, lParam);
}

// The console's subclass of its list: what a snap-in changes on the list
// directly (a state image, a redraw) shows as soon as it is done.
LRESULT ResultListProc(HWND list, UINT message, WPARAM wParam, LPARAM lParam) {
    LRESULT result = CallWindowProc(g_listProc.load(), list, message, wParam, lParam);
    switch (message) {
        case LVM_SETITEM:
        case LVM_SETITEMSTATE:
        case LVM_SETITEMTEXT:
        case LVM_REDRAWITEMS:
        case LVM_UPDATE:
        case LVM_SETIMAGELIST:
        case LVM_SETCALLBACKMASK:
        case LVM_INSERTITEM:
        case LVM_DELETEITEM:
            if (View* view = ViewOf(GetParent(list))) view->Host().ListChanged();
            break;
        default:
            break;
    }
    return result;
}

}  // namespace

HWND CreateResultPane(HWND frame, View& view) {
    static ATOM registered = [] {
        WNDCLASSA paneClass{};
        paneClass.lpfnWndProc = ResultPaneProc;
        paneClass.lpszClassName = kPaneClass;
        return RegisterClass(&paneClass);
    }();
    if (registered == 0 || frame == nullptr) return nullptr;
    HWND pane = CreateWindowEx(0, kPaneClass, "", WS_CHILD | WS_VISIBLE, 0, 0, 800, 600, frame,
                               static_cast<UINT_PTR>(0xE900 + view.id), nullptr, nullptr);
    if (pane == nullptr) return nullptr;
    // Image lists the snap-in sets stay the snap-in's: the list never
    // destroys them.
    HWND list = CreateWindowEx(0, WC_LISTVIEW, "", WS_CHILD | WS_VISIBLE | WS_TABSTOP | LVS_REPORT | LVS_SHOWSELALWAYS |
                                                      LVS_SHAREIMAGELISTS,
                               0, 0, 800, 600, pane, kListId, nullptr, nullptr);
    if (list == nullptr) {
        DestroyWindow(pane);
        return nullptr;
    }
    WNDPROC previous = reinterpret_cast<WNDPROC>(
        SetWindowLongPtr(list, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(ResultListProc)));
    g_listProc.store(previous);
    view.list.Attach(list);
    SetWindowLongPtr(pane, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&view));
    return pane;
}

void DestroyResultPane(HWND pane) {
    if (pane == nullptr) return;
    // The view is going: the list's last notifications find nobody to ask.
    SetWindowLongPtr(pane, GWLP_USERDATA, 0);
    DestroyWindow(pane);
}

void PostSelectionCheck(HWND pane) { PostMessage(pane, WM_CHECK_SELECTION, 0, 0); }

}  // namespace kv::mmc
