// Property sheets: the order in which pages hear of tab changes, Apply, OK
// and Cancel; Apply enabled exactly while a page is modified; pages that
// refuse; modeless sheets that close and take their pages with them.
#include <future>

#include "tests/ui/UiTestSupport.h"

namespace {

using namespace uitest;

class RecordingPage : public CPropertyPage {
public:
    RecordingPage(UINT templateId, std::vector<std::string>& log, int* alive = nullptr)
        : CPropertyPage(Dialogs(), templateId), m_log(log), m_alive(alive) {
        if (m_alive != nullptr) ++*m_alive;
        OnCommandFrom(IDC_FIELD, EN_CHANGE, [this] { SetModified(); });
    }
    ~RecordingPage() override {
        if (m_alive != nullptr) --*m_alive;
    }
    BOOL OnSetActive() override { return Record("SetActive", CPropertyPage::OnSetActive()); }
    BOOL OnKillActive() override { return Record("KillActive", !refuseKill && CPropertyPage::OnKillActive()); }
    BOOL OnApply() override { return Record("Apply", !refuseApply); }
    void OnCancel() override { Record("Cancel", TRUE); }
    bool refuseApply = false;
    bool refuseKill = false;

private:
    BOOL Record(const char* what, BOOL answer) {
        m_log.push_back(GetTitle() + ":" + what);
        return answer;
    }
    std::vector<std::string>& m_log;
    int* m_alive;
};

struct SheetRun {
    kv::ui::UiThread ui;
    std::vector<std::string> log;
    RecordingPage first{IDD_PAGE_FIRST, log}, second{IDD_PAGE_SECOND, log}, third{IDD_PAGE_THIRD, log};
    CPropertySheet sheet{"Scan job properties"};
    std::promise<INT_PTR> result;
    std::future<INT_PTR> done = result.get_future();
    WindowView window;

    SheetRun() {
        sheet.AddPage(&first);
        sheet.AddPage(&second);
        sheet.AddPage(&third);
        ui.Post([this] { result.set_value(sheet.DoModal()); });
        window = WaitForWindow("Scan job properties");
    }
    std::vector<std::string> TakeLog() {
        Drain(ui);
        std::vector<std::string> taken;
        ui.Invoke([&] { taken.swap(log); });
        return taken;
    }
    uint64_t Field(int tab) {
        std::shared_ptr<const Snapshot> shown = WaitFor([&](const Snapshot& s) {
            const WindowView* view = s.Find(window.handle);
            return view != nullptr && view->activeTab == tab && Page(*view, tab) != nullptr;
        });
        return Control(*Page(*shown->Find(window.handle), tab), IDC_FIELD);
    }
    static const WindowView* Page(const WindowView& sheetView, int tab) {
        for (const WindowView& child : sheetView.children)
            if (child.kind == WindowKind::PropertyPage && child.visible && child.text == sheetView.tabs[tab])
                return &child;
        return nullptr;
    }
    bool ApplyEnabled() {
        Drain(ui);
        const WindowView* view = kv::ui::CurrentSnapshot()->Find(window.handle);
        return view != nullptr && Snapshot::FindChild(*view, ID_APPLY_NOW)->enabled;
    }
    void SelectTab(int tab) {
        Input input;
        input.type = InputType::SelectTab;
        input.target = window.handle;
        input.item = tab;
        Post(input);
    }
};

TEST(PropertySheet, ApplyFollowsTheModifiedMarksAndPagesHearInOrder) {
    SheetRun run;
    EXPECT_EQ(run.window.kind, WindowKind::PropertySheet);
    EXPECT_EQ(run.window.tabs, (std::vector<std::string>{"First", "Second", "Third"}));
    EXPECT_EQ(run.TakeLog(), std::vector<std::string>{"First:SetActive"});
    EXPECT_FALSE(run.ApplyEnabled());

    Type(run.Field(0), "changed");
    EXPECT_TRUE(run.ApplyEnabled());
    EXPECT_TRUE(SheetRun::Page(*kv::ui::CurrentSnapshot()->Find(run.window.handle), 0)->modified);
    run.SelectTab(1);
    run.Field(1);
    EXPECT_EQ(run.TakeLog(), (std::vector<std::string>{"First:KillActive", "Second:SetActive"}));

    Click(Control(run.window, ID_APPLY_NOW));
    // Apply: the active page may refuse to be left, then every page created
    // so far applies in tab order, then the active page is told again.
    EXPECT_EQ(run.TakeLog(),
              (std::vector<std::string>{"Second:KillActive", "First:Apply", "Second:Apply", "Second:SetActive"}));
    EXPECT_FALSE(run.ApplyEnabled());
    EXPECT_FALSE(SheetRun::Page(*kv::ui::CurrentSnapshot()->Find(run.window.handle), 1)->modified);

    Type(run.Field(1), "second change");
    EXPECT_TRUE(run.ApplyEnabled());
    run.ui.Invoke([&] { run.second.SetModified(FALSE); });
    EXPECT_FALSE(run.ApplyEnabled());
    // A disabled Apply does nothing.
    Click(Control(run.window, ID_APPLY_NOW));
    EXPECT_TRUE(run.TakeLog().empty());

    Type(run.Field(1), "third change");
    Click(Control(run.window, IDOK));
    EXPECT_EQ(run.done.get(), IDOK);
    EXPECT_EQ(run.TakeLog(), (std::vector<std::string>{"Second:KillActive", "First:Apply", "Second:Apply"}));
    EXPECT_EQ(run.sheet.m_hWnd, nullptr);
}

TEST(PropertySheet, PagesThatRefuseKeepTheSheetOpen) {
    SheetRun run;
    run.TakeLog();
    run.ui.Invoke([&] { run.first.refuseKill = true; });
    run.SelectTab(2);
    EXPECT_EQ(run.TakeLog(), std::vector<std::string>{"First:KillActive"});
    EXPECT_EQ(kv::ui::CurrentSnapshot()->Find(run.window.handle)->activeTab, 0);

    run.ui.Invoke([&] {
        run.first.refuseKill = false;
        run.first.refuseApply = true;
    });
    Click(Control(run.window, IDOK));
    EXPECT_EQ(run.TakeLog(), (std::vector<std::string>{"First:KillActive", "First:Apply"}));
    EXPECT_TRUE(Shows(*kv::ui::CurrentSnapshot(), "Scan job properties"));

    // Cancel tells only the pages that were created.
    run.SelectTab(1);
    run.Field(1);
    run.TakeLog();
    Key(0, VK_ESCAPE);
    EXPECT_EQ(run.done.get(), IDCANCEL);
    EXPECT_EQ(run.TakeLog(), (std::vector<std::string>{"First:Cancel", "Second:Cancel"}));
}

TEST(PropertySheet, ModelessSheetClosesItselfAndTheHostForgetsIt) {
    kv::ui::UiThread ui;
    std::vector<std::string> log;
    int alive = 0;
    bool closed = false;
    auto* sheet = new CPropertySheet("Modeless");
    ui.Invoke([&] {
        for (UINT id : {IDD_PAGE_FIRST, IDD_PAGE_SECOND}) {
            auto* page = new RecordingPage(id, log, &alive);
            page->m_bAutoDelete = TRUE;
            sheet->AddPage(CreatePropertySheetPage(&page->m_psp));
        }
        sheet->SetClosedHandler([&](CPropertySheet* gone) {
            closed = true;
            delete gone;
        });
        EXPECT_TRUE(sheet->Create());
    });
    EXPECT_EQ(alive, 2);
    WindowView window = WaitForWindow("Modeless");
    EXPECT_FALSE(window.modal);
    EXPECT_TRUE(kv::ui::CurrentSnapshot()->modalChain.empty());
    Click(Control(window, IDOK));
    WaitFor([](const Snapshot& s) { return !Shows(s, "Modeless"); });
    Drain(ui);
    ui.Invoke([&] {
        EXPECT_TRUE(closed);
        EXPECT_EQ(alive, 0);
    });
}

}  // namespace
