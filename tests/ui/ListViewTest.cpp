// List views: columns, icons and state images on the display, selection by
// the user with its notifications, texts the parent supplies, keys, deletion.
#include <future>
#include <tuple>

#include "tests/ui/UiTestSupport.h"

namespace {

using namespace uitest;

class ListDialog : public CDialog {
public:
    ListDialog() : CDialog(Dialogs(), IDD_LIST) {
        OnNotifyFrom(IDC_LIST, LVN_ITEMCHANGED, [this](NMHDR* header, LRESULT*) {
            auto* change = reinterpret_cast<NMLISTVIEW*>(header);
            changes.emplace_back(change->iItem, change->uOldState & LVIS_SELECTED, change->uNewState & LVIS_SELECTED);
        });
        OnNotifyFrom(IDC_LIST, LVN_GETDISPINFO, [](NMHDR* header, LRESULT*) {
            auto* info = reinterpret_cast<NMLVDISPINFO*>(header);
            if ((info->item.mask & LVIF_TEXT) != 0)
                std::snprintf(info->item.pszText, static_cast<size_t>(info->item.cchTextMax), "asked %d",
                              static_cast<int>(info->item.lParam));
        });
        OnNotifyFrom(IDC_LIST, LVN_KEYDOWN, [this](NMHDR* header, LRESULT*) {
            keys.push_back(reinterpret_cast<NMLVKEYDOWN*>(header)->wVKey);
        });
        OnNotifyFrom(IDC_LIST, NM_DBLCLK, [this](NMHDR* header, LRESULT*) {
            activated = reinterpret_cast<NMITEMACTIVATE*>(header)->iItem;
        });
        OnNotifyFrom(IDC_LIST, LVN_DELETEITEM, [this](NMHDR* header, LRESULT*) {
            deleted.push_back(static_cast<int>(reinterpret_cast<NMLISTVIEW*>(header)->lParam));
        });
    }
    CListCtrl list;
    CImageList small, states;
    std::vector<std::tuple<int, UINT, UINT>> changes;
    std::vector<WORD> keys;
    std::vector<int> deleted;
    int activated = -2;

protected:
    void DoDataExchange(CDataExchange* dx) override { DDX_Control(dx, IDC_LIST, list); }
    BOOL OnInitDialog() override {
        CDialog::OnInitDialog();
        list.InsertColumn(0, "Name", LVCFMT_LEFT, 120);
        list.InsertColumn(1, "Recipients", LVCFMT_LEFT, 160);
        list.InsertColumn(2, "Status", LVCFMT_LEFT, 80);
        small.Create(16, 16, ILC_MASK, 2, 0);
        small.Add("folder");
        small.Add("text-x-generic");
        states.Create(16, 16, ILC_MASK, 5, 0);
        for (const char* name : {"res:state1", "res:state2", "res:state3", "res:state4", "res:state5"}) states.Add(name);
        list.SetImageList(&small, LVSIL_SMALL);
        list.SetImageList(&states, LVSIL_STATE);
        const char* names[] = {"Daily", "Weekly", "Monthly", "Hourly"};
        for (int i = 0; i < 4; ++i) {
            list.InsertItem(i, names[i], i % 2);
            list.SetItemText(i, 1, "admin@example.org");
            list.SetItemText(i, 2, i == 0 ? "Enabled" : "Disabled");
            list.SetItemState(i, INDEXTOSTATEIMAGEMASK(i + 2), LVIS_STATEIMAGEMASK);
            list.SetItemData(i, static_cast<DWORD_PTR>(100 + i));
        }
        LVITEM asked{};
        asked.mask = LVIF_TEXT | LVIF_PARAM;
        asked.iItem = 4;
        asked.pszText = LPSTR_TEXTCALLBACK;
        asked.lParam = 7;
        list.InsertItem(&asked);
        return TRUE;
    }
};

std::vector<int> Selected(const WindowView& list) {
    std::vector<int> out;
    for (size_t i = 0; i < list.list->items.size(); ++i)
        if (list.list->items[i].selected) out.push_back(static_cast<int>(i));
    return out;
}

struct ListRun {
    kv::ui::UiThread ui;
    ListDialog dialog;
    std::promise<INT_PTR> result;
    std::future<INT_PTR> done = result.get_future();
    WindowView window;
    uint64_t list = 0;
    ListRun() {
        ui.Post([this] { result.set_value(dialog.DoModal()); });
        window = WaitForWindow("List");
        list = Control(window, IDC_LIST);
    }
    ~ListRun() {
        Click(Control(window, IDCANCEL));
        done.wait();
    }
    std::shared_ptr<const Snapshot> WaitForSelection(const std::vector<int>& wanted) {
        return WaitFor([&](const Snapshot& s) {
            const WindowView* view = s.Find(list);
            return view != nullptr && view->list && Selected(*view) == wanted;
        });
    }
    void ClickItem(int item, bool ctrl = false, bool shift = false, InputType type = InputType::ClickItem) {
        Input input;
        input.type = type;
        input.target = list;
        input.item = item;
        input.x = 40;
        input.ctrl = ctrl;
        input.shift = shift;
        Post(input);
    }
};

TEST(ListView, DisplayShowsColumnsIconsStateImagesAndAskedTexts) {
    ListRun run;
    const WindowView* list = Snapshot::FindChild(run.window, IDC_LIST);
    ASSERT_TRUE(list != nullptr && list->list);
    const kv::ui::ListViewState& state = *list->list;
    ASSERT_EQ(state.columns.size(), 3u);
    EXPECT_EQ(state.columns[1].text, "Recipients");
    EXPECT_EQ(state.columns[1].width, 160);
    EXPECT_EQ(state.smallImages, (std::vector<std::string>{"folder", "text-x-generic"}));
    EXPECT_EQ(state.stateImages.size(), 5u);
    ASSERT_EQ(state.items.size(), 5u);
    EXPECT_EQ(state.items[0].texts, (std::vector<std::string>{"Daily", "admin@example.org", "Enabled"}));
    EXPECT_EQ(state.items[1].image, 1);
    EXPECT_EQ(state.items[2].stateImage, 4);
    EXPECT_EQ(state.items[4].texts[0], "asked 7");
    EXPECT_TRUE(state.multiSelect);
    EXPECT_TRUE(state.report);
}

TEST(ListView, UserSelectsSeveralItemsAndTheParentHearsEachChange) {
    ListRun run;
    run.ClickItem(0);
    run.WaitForSelection({0});
    run.ClickItem(2, true);
    run.WaitForSelection({0, 2});
    run.ClickItem(3, false, true);  // a range from the last clicked item
    run.WaitForSelection({2, 3});
    run.ClickItem(2, true);  // Ctrl toggles, and the focus goes along
    auto shown = run.WaitForSelection({3});
    EXPECT_TRUE(shown->Find(run.list)->list->items[2].focused);
    Drain(run.ui);
    using Change = std::tuple<int, UINT, UINT>;
    std::vector<Change> selections;
    for (const Change& change : run.dialog.changes)
        if (std::get<1>(change) != std::get<2>(change)) selections.push_back(change);
    EXPECT_EQ(selections, (std::vector<Change>{{0, 0, LVIS_SELECTED},
                                               {2, 0, LVIS_SELECTED},
                                               {0, LVIS_SELECTED, 0},
                                               {3, 0, LVIS_SELECTED},
                                               {2, LVIS_SELECTED, 0}}));
    std::vector<int> selected;
    run.ui.Invoke([&] {
        for (int i = run.dialog.list.GetNextItem(-1, LVNI_SELECTED); i >= 0;
             i = run.dialog.list.GetNextItem(i, LVNI_SELECTED))
            selected.push_back(i);
        EXPECT_EQ(run.dialog.list.GetSelectedCount(), 1u);
    });
    EXPECT_EQ(selected, std::vector<int>{3});

    Input exact;
    exact.type = InputType::SelectItems;
    exact.target = run.list;
    exact.items = {1, 4};
    Post(exact);
    run.WaitForSelection({1, 4});
    run.ClickItem(-1);  // empty space clears the selection
    run.WaitForSelection({});
    run.ui.Invoke([&] { run.dialog.list.ModifyStyle(0, LVS_SINGLESEL); });
    Post(exact);
    run.WaitForSelection({4});
    run.ClickItem(1, false, false, InputType::DoubleClickItem);
    run.WaitForSelection({1});
    Drain(run.ui);
    EXPECT_EQ(run.dialog.activated, 1);
}

TEST(ListView, KeysMoveTheSelectionAndReachTheParent) {
    ListRun run;
    run.ClickItem(1);
    run.WaitForSelection({1});
    Key(run.list, VK_DOWN);
    run.WaitForSelection({2});
    Key(run.list, VK_DELETE);
    Key(run.list, VK_INSERT);
    Drain(run.ui);
    EXPECT_EQ(run.dialog.keys, (std::vector<WORD>{VK_DOWN, VK_DELETE, VK_INSERT}));
}

TEST(ListView, SortedListsPlaceNewItemsAndDeletionIsAnnounced) {
    ListRun run;
    run.ui.Invoke([&] {
        CListCtrl& list = run.dialog.list;
        list.DeleteAllItems();
        EXPECT_EQ(run.dialog.deleted, (std::vector<int>{100, 101, 102, 103, 7}));
        list.ModifyStyle(0, LVS_SORTASCENDING);
        list.InsertItem(0, "TXT");
        list.InsertItem(0, "LOG");
        list.InsertItem(5, "exe");
        EXPECT_EQ(list.GetItemText(0, 0), "exe");
        EXPECT_EQ(list.GetItemText(1, 0), "LOG");
        EXPECT_EQ(list.GetItemText(2, 0), "TXT");
        LVFINDINFO find{};
        find.flags = LVFI_STRING;
        find.psz = "log";
        EXPECT_EQ(list.FindItem(&find), 1);
        EXPECT_TRUE(list.DeleteItem(1));
        EXPECT_EQ(list.FindItem(&find), -1);
        EXPECT_EQ(list.GetItemCount(), 2);
    });
}

}  // namespace
