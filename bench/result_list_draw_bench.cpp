// Drawing a result list whose rows call back: every row asks its parent
// (LVN_GETDISPINFO) for its name, icon and state image, as each snapshot of
// the console's result pane does; with and without a snap-in's
// call-window-procedure hook that subclasses the parent for each request
// and sets the state image on the item.
#include <benchmark/benchmark.h>

#include <cstdio>

#include "platform/ui/CommCtrl.h"
#include "platform/ui/Display.h"

namespace {

LRESULT PaneProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NOTIFY && reinterpret_cast<NMHDR*>(lParam)->code == LVN_GETDISPINFO) {
        LVITEMA& item = reinterpret_cast<NMLVDISPINFO*>(lParam)->item;
        if (item.mask & LVIF_TEXT)
            std::snprintf(item.pszText, static_cast<size_t>(item.cchTextMax), "file-%ld.txt", static_cast<long>(item.lParam));
        if (item.mask & LVIF_IMAGE) item.iImage = 1;
        return 0;
    }
    return DefWindowProc(window, message, wParam, lParam);
}

HHOOK g_hook = nullptr;
WNDPROC g_previous = nullptr;

LRESULT HandleMsg(HWND pane, UINT message, WPARAM wParam, LPARAM lParam) {
    WNDPROC previous = g_previous;
    LRESULT result = CallWindowProc(previous, pane, message, wParam, lParam);
    auto* info = reinterpret_cast<NMLVDISPINFO*>(lParam);
    if (message == WM_NOTIFY && info->hdr.code == LVN_GETDISPINFO && (info->item.mask & LVIF_STATE))
        ListView_SetItemState(info->hdr.hwndFrom, info->item.iItem, INDEXTOSTATEIMAGEMASK(1 + info->item.iItem % 4),
                              LVIS_STATEIMAGEMASK);
    SetWindowLongPtr(pane, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previous));
    g_previous = nullptr;
    return result;
}

LRESULT Hook(int code, WPARAM wParam, LPARAM lParam) {
    auto* call = reinterpret_cast<CWPSTRUCT*>(lParam);
    if (call->message == WM_NOTIFY && g_previous == nullptr &&
        reinterpret_cast<NMHDR*>(call->lParam)->code == LVN_GETDISPINFO)
        g_previous = reinterpret_cast<WNDPROC>(SetWindowLongPtr(call->hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(HandleMsg)));
    return CallNextHookEx(g_hook, code, wParam, lParam);
}

void DrawList(benchmark::State& state, bool hooked) {
    static ATOM registered = [] {
        WNDCLASS paneClass{};
        paneClass.lpfnWndProc = PaneProc;
        paneClass.lpszClassName = "BenchPane";
        return RegisterClass(&paneClass);
    }();
    (void)registered;
    HWND pane = CreateWindowEx(0, "BenchPane", "", WS_OVERLAPPED, 0, 0, 800, 600, nullptr, 0, nullptr, nullptr);
    HWND list = CreateWindowEx(0, WC_LISTVIEW, "", WS_CHILD | LVS_REPORT, 0, 0, 800, 600, pane, 1, nullptr, nullptr);
    int rows = static_cast<int>(state.range(0));
    for (int i = 0; i < rows; ++i) {
        LVITEMA item{};
        item.mask = LVIF_TEXT | LVIF_IMAGE | LVIF_PARAM;
        item.iItem = i;
        item.pszText = LPSTR_TEXTCALLBACK;
        item.iImage = I_IMAGECALLBACK;
        item.lParam = i;
        ListView_InsertItem(list, &item);
    }
    if (hooked) g_hook = SetWindowsHookEx(WH_CALLWNDPROC, Hook, nullptr, GetCurrentThreadId());
    kv::ui::ListItemView row;
    for (auto _ : state) {
        for (int i = 0; i < rows; ++i) kv::ui::DrawListItem(list, i, &row);
        benchmark::DoNotOptimize(row);
    }
    if (hooked) UnhookWindowsHookEx(g_hook);
    state.SetItemsProcessed(state.iterations() * rows);
    DestroyWindow(pane);
}

void BM_DrawRows(benchmark::State& state) { DrawList(state, false); }
void BM_DrawRowsHooked(benchmark::State& state) { DrawList(state, true); }

BENCHMARK(BM_DrawRows)->Arg(1000)->Arg(5000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DrawRowsHooked)->Arg(1000)->Arg(5000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
