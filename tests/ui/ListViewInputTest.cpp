// A list view inside a plain parent window, as a console's result pane is:
// what drawing a row asks the parent (and what the parent may set while it
// answers), mouse and key messages doing what a list view does with them,
// and the geometry that hit tests and item rectangles share.
#include <string>
#include <vector>

#include "platform/ui/CommCtrl.h"
#include "tests/ui/UiTestSupport.h"

namespace {

using namespace uitest;

constexpr int kRow = 18, kHeader = 24;

struct Parent {
    std::vector<std::string> events;
    std::vector<UINT> askedMasks;
    std::vector<UINT> askedStateMasks;
    bool keepTexts = false;
};
Parent* g_parent = nullptr;

LRESULT ParentProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != WM_NOTIFY || g_parent == nullptr) return DefWindowProc(window, message, wParam, lParam);
    auto* header = reinterpret_cast<NMHDR*>(lParam);
    switch (header->code) {
        case LVN_GETDISPINFO: {
            LVITEMA& item = reinterpret_cast<NMLVDISPINFO*>(lParam)->item;
            g_parent->askedMasks.push_back(item.mask | (static_cast<UINT>(item.iSubItem) << 24));
            g_parent->askedStateMasks.push_back(item.stateMask);
            if (item.mask & LVIF_TEXT)
                std::snprintf(item.pszText, static_cast<size_t>(item.cchTextMax), "%s %d", item.iSubItem == 0 ? "name" : "detail",
                              static_cast<int>(item.lParam));
            if (item.mask & LVIF_IMAGE) item.iImage = 1;
            if (g_parent->keepTexts) item.mask |= LVIF_DI_SETITEM;
            // Item 0 answers its state image; item 1 sets it on the item meanwhile.
            if ((item.mask & LVIF_STATE) && item.iItem == 0) item.state = (item.state & ~LVIS_STATEIMAGEMASK) | INDEXTOSTATEIMAGEMASK(2);
            if ((item.mask & LVIF_STATE) && item.iItem == 1)
                ListView_SetItemState(header->hwndFrom, 1, INDEXTOSTATEIMAGEMASK(4), LVIS_STATEIMAGEMASK);
            return 0;
        }
        case NM_CLICK:
        case NM_DBLCLK:
        case NM_RCLICK: {
            auto* note = reinterpret_cast<NMITEMACTIVATE*>(lParam);
            const char* name = header->code == NM_CLICK ? "click" : header->code == NM_DBLCLK ? "dblclk" : "rclick";
            g_parent->events.push_back(std::string(name) + " " + std::to_string(note->iItem) + " x=" + std::to_string(note->ptAction.x));
            return 0;
        }
        case LVN_KEYDOWN:
            g_parent->events.push_back("key " + std::to_string(reinterpret_cast<NMLVKEYDOWN*>(lParam)->wVKey));
            return 0;
        default:
            return 0;
    }
}

struct Pane {
    HWND parent = nullptr;
    HWND list = nullptr;
    Parent record;

    explicit Pane(int items, bool callbacks) {
        static ATOM registered = [] {
            WNDCLASS windowClass{};
            windowClass.lpfnWndProc = ParentProc;
            windowClass.lpszClassName = "UiTestListPane";
            return RegisterClass(&windowClass);
        }();
        (void)registered;
        g_parent = &record;
        parent = CreateWindowEx(0, "UiTestListPane", "", WS_OVERLAPPED, 0, 0, 600, 400, nullptr, 0, nullptr, nullptr);
        list = CreateWindowEx(0, WC_LISTVIEW, "", WS_CHILD | WS_VISIBLE | LVS_REPORT, 0, 0, 600, 400, parent, 1, nullptr, nullptr);
        for (const char* title : {"Name", "Size"}) {
            LVCOLUMNA column{};
            column.mask = LVCF_TEXT | LVCF_WIDTH;
            column.pszText = const_cast<char*>(title);
            column.cx = 200;
            SendMessage(list, LVM_INSERTCOLUMN, 9, reinterpret_cast<LPARAM>(&column));
        }
        for (int i = 0; i < items; ++i) {
            std::string text = "own " + std::to_string(i);
            LVITEMA item{};
            item.mask = LVIF_TEXT | LVIF_IMAGE | LVIF_PARAM;
            item.iItem = i;
            item.pszText = callbacks ? LPSTR_TEXTCALLBACK : text.data();
            item.iImage = callbacks ? I_IMAGECALLBACK : 0;
            item.lParam = 100 + i;
            ListView_InsertItem(list, &item);
            LVITEMA sub{};
            sub.iSubItem = 1;
            sub.pszText = callbacks ? LPSTR_TEXTCALLBACK : const_cast<char*>("fixed");
            SendMessage(list, LVM_SETITEMTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&sub));
        }
    }
    ~Pane() {
        DestroyWindow(parent);
        g_parent = nullptr;
    }
    void Post(UINT message, int row, int x, bool ctrl = false, bool shift = false) {
        WPARAM keys = (message == WM_RBUTTONDOWN ? MK_RBUTTON : MK_LBUTTON) | (ctrl ? MK_CONTROL : 0) | (shift ? MK_SHIFT : 0);
        int y = row < 0 ? 300 : kHeader + row * kRow + kRow / 2;
        kv::ui::PostUserMessage(list, message, keys, MAKELPARAM(x, y), ctrl, shift);
        Pump();
    }
    void Key(UINT key, bool ctrl = false, bool shift = false) {
        kv::ui::PostUserMessage(list, WM_KEYDOWN, key, 1, ctrl, shift, key);
        Pump();
    }
    std::vector<int> Selected() const {
        std::vector<int> out;
        for (int i = ListView_GetNextItem(list, -1, LVNI_SELECTED); i >= 0; i = ListView_GetNextItem(list, i, LVNI_SELECTED))
            out.push_back(i);
        return out;
    }
    static void Pump() {
        MSG msg;
        while (PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessage(&msg);
    }
};

TEST(ListViewPane, DrawingARowAsksTheParentAndDrawsTheStateItAnswersOrSets) {
    Pane pane(3, true);
    ListView_SetItemState(pane.list, 2, INDEXTOSTATEIMAGEMASK(3), LVIS_STATEIMAGEMASK);
    std::vector<kv::ui::ListItemView> rows(3);
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(kv::ui::DrawListItem(pane.list, i, &rows[i]));
    EXPECT_EQ(rows[0].texts, (std::vector<std::string>{"name 100", "detail 100"}));
    EXPECT_EQ(rows[0].image, 1);
    EXPECT_EQ(rows[0].stateImage, 2) << "answered in the request";
    EXPECT_EQ(rows[1].stateImage, 4) << "set on the item during the request";
    EXPECT_EQ(rows[2].stateImage, 3) << "left alone: the item's own";
    EXPECT_EQ(ListView_GetItemState(pane.list, 0, LVIS_STATEIMAGEMASK), 0u) << "an answer is drawn, not kept";
    // One request for the first column with everything it leaves open, the
    // state image always among it; then one per other column.
    ASSERT_EQ(pane.record.askedMasks.size(), 6u);
    EXPECT_EQ(pane.record.askedMasks[0], LVIF_TEXT | LVIF_IMAGE | LVIF_STATE);
    EXPECT_EQ(pane.record.askedStateMasks[0], LVIS_STATEIMAGEMASK);
    EXPECT_EQ(pane.record.askedMasks[1], LVIF_TEXT | (1u << 24));
    EXPECT_FALSE(kv::ui::DrawListItem(pane.list, 3, &rows[0]));

    // An answer the parent marks to keep is not asked for again.
    pane.record.keepTexts = true;
    ASSERT_TRUE(kv::ui::DrawListItem(pane.list, 0, &rows[0]));
    pane.record.askedMasks.clear();
    pane.record.keepTexts = false;
    ASSERT_TRUE(kv::ui::DrawListItem(pane.list, 0, &rows[0]));
    EXPECT_EQ(rows[0].texts, (std::vector<std::string>{"name 100", "detail 100"}));
    EXPECT_TRUE(pane.record.askedMasks.empty());
}

TEST(ListViewPane, RowsWithoutCallbacksAreNotAsked) {
    Pane pane(2, false);
    kv::ui::ListItemView row;
    ASSERT_TRUE(kv::ui::DrawListItem(pane.list, 1, &row));
    EXPECT_EQ(row.texts, (std::vector<std::string>{"own 1", "fixed"}));
    EXPECT_TRUE(pane.record.askedMasks.empty());
}

TEST(ListViewPane, MouseMessagesSelectAsAListViewDoes) {
    Pane pane(5, false);
    pane.Post(WM_LBUTTONDOWN, 1, 40);
    EXPECT_EQ(pane.Selected(), (std::vector<int>{1}));
    pane.Post(WM_LBUTTONDOWN, 3, 40, true);
    EXPECT_EQ(pane.Selected(), (std::vector<int>{1, 3}));
    pane.Post(WM_LBUTTONDOWN, 3, 40, true);
    EXPECT_EQ(pane.Selected(), (std::vector<int>{1})) << "Ctrl toggles";
    pane.Post(WM_LBUTTONDOWN, 4, 40, false, true);
    EXPECT_EQ(pane.Selected(), (std::vector<int>{3, 4})) << "Shift extends from the last Ctrl+click";
    pane.Post(WM_LBUTTONDBLCLK, 4, 8);
    EXPECT_EQ(pane.Selected(), (std::vector<int>{3, 4})) << "a double click keeps a selection holding the item";
    pane.Post(WM_RBUTTONDOWN, 0, 50);
    EXPECT_EQ(pane.Selected(), (std::vector<int>{0}));
    pane.Post(WM_LBUTTONDOWN, -1, 10);
    EXPECT_TRUE(pane.Selected().empty()) << "a click below the rows clears";
    pane.Key('A', true);
    EXPECT_EQ(pane.Selected(), (std::vector<int>{0, 1, 2, 3, 4}));
    pane.Key(VK_HOME);
    EXPECT_EQ(pane.Selected(), (std::vector<int>{0}));
    EXPECT_EQ(pane.record.events,
              (std::vector<std::string>{"click 1 x=40", "click 3 x=40", "click 3 x=40", "click 4 x=40", "dblclk 4 x=8",
                                        "rclick 0 x=50", "click -1 x=10", "key 65", "key 36"}));
}

HHOOK g_filter = nullptr;

LRESULT NoShiftClicks(int code, WPARAM wParam, LPARAM lParam) {
    auto* msg = reinterpret_cast<MSG*>(lParam);
    if (msg->message == WM_LBUTTONDOWN && GetKeyState(VK_SHIFT) < 0) msg->message = WM_NULL;
    return CallNextHookEx(g_filter, code, wParam, lParam);
}

TEST(ListViewPane, AMessageHookKeepsShiftClicksFromTheList) {
    Pane pane(4, false);
    g_filter = SetWindowsHookEx(WH_GETMESSAGE, NoShiftClicks, nullptr, GetCurrentThreadId());
    pane.Post(WM_LBUTTONDOWN, 0, 40);
    pane.Post(WM_LBUTTONDOWN, 3, 40, false, true);
    EXPECT_EQ(pane.Selected(), (std::vector<int>{0}));
    EXPECT_EQ(pane.record.events, (std::vector<std::string>{"click 0 x=40"}));
    UnhookWindowsHookEx(g_filter);
}

TEST(ListViewPane, HitTestsAndItemRectanglesShareOneGeometry) {
    Pane pane(3, false);
    auto hit = [&](int x, int y, bool sub = false) {
        LVHITTESTINFO info{};
        info.pt = POINT{x, y};
        int item = sub ? ListView_SubItemHitTest(pane.list, &info) : ListView_HitTest(pane.list, &info);
        return std::make_tuple(item, info.flags, info.iSubItem);
    };
    RECT bounds{};
    ASSERT_TRUE(ListView_GetItemRect(pane.list, 2, &bounds, LVIR_BOUNDS));
    EXPECT_EQ(bounds.top, kHeader + 2 * kRow);
    int middle = (bounds.top + bounds.bottom) / 2;
    EXPECT_EQ(hit(5, middle), std::make_tuple(2, LVHT_ONITEMICON, 0)) << "no state images: the icon starts the row";
    HIMAGELIST states = ImageList_Create(16, 16, ILC_COLOR32, 2, 0);
    ImageList_AddNamed(states, "checkbox");
    ListView_SetImageList(pane.list, states, LVSIL_STATE);
    EXPECT_EQ(hit(15, middle), std::make_tuple(2, LVHT_ONITEMSTATEICON, 0));
    EXPECT_EQ(hit(16, middle), std::make_tuple(2, LVHT_ONITEMICON, 0));
    EXPECT_EQ(hit(32, middle), std::make_tuple(2, LVHT_ONITEMLABEL, 0));
    ASSERT_TRUE(ListView_GetItemRect(pane.list, 2, &bounds, LVIR_ICON));
    EXPECT_EQ(bounds.left, 16);
    EXPECT_EQ(hit(250, middle, true), std::make_tuple(2, LVHT_ONITEMLABEL, 1));
    EXPECT_EQ(std::get<0>(hit(450, middle, true)), -1) << "right of the last column";
    EXPECT_EQ(std::get<0>(hit(40, kHeader - 1)), -1) << "on the header";
    EXPECT_EQ(std::get<0>(hit(40, kHeader + 3 * kRow)), -1) << "below the rows";
    ListView_SetImageList(pane.list, nullptr, LVSIL_STATE);
    ImageList_Destroy(states);
}

}  // namespace
