// The display: snapshots that stay as they were taken, versions that move
// only with a change, the wait cursor, the order of windows, and readers on
// other threads while the windows change.
#include <atomic>
#include <thread>

#include "tests/ui/UiTestSupport.h"

namespace {

using namespace uitest;

TEST(Display, VersionsMoveWithChangesAndOldSnapshotsStayAsTheyWere) {
    kv::ui::UiThread ui;
    CDialog dialog(Dialogs(), IDD_NAME);
    ui.Invoke([&] { ASSERT_TRUE(dialog.Create(IDD_NAME)); });
    WindowView window = WaitForWindow("New Name");
    Drain(ui);
    auto before = kv::ui::CurrentSnapshot();
    Drain(ui);
    EXPECT_EQ(kv::ui::CurrentSnapshot()->version, before->version);

    std::atomic<uint64_t> seen{0};
    std::thread reader([&] {
        seen = kv::ui::WaitForSnapshot(before->version, std::chrono::seconds(20))->version;
    });
    ui.Invoke([&] { dialog.SetDlgItemText(IDC_NAME, "changed"); });
    reader.join();
    EXPECT_GT(seen.load(), before->version);
    auto after = kv::ui::CurrentSnapshot();
    EXPECT_EQ(after->Find(Control(window, IDC_NAME))->text, "changed");
    EXPECT_EQ(before->Find(Control(window, IDC_NAME))->text, "");
    ui.Invoke([&] { dialog.DestroyWindow(); });
}

TEST(Display, WaitCursorShowsAtOnceWhileTheThreadIsBusy) {
    kv::ui::UiThread ui;
    std::atomic<bool> shownWhileBusy{false};
    ui.Invoke([&] {
        CWaitCursor wait;
        // Another thread sees it before this call returns.
        std::thread reader([&] { shownWhileBusy = kv::ui::CurrentSnapshot()->waitCursor; });
        reader.join();
    });
    EXPECT_TRUE(shownWhileBusy.load());
    Drain(ui);
    EXPECT_FALSE(kv::ui::CurrentSnapshot()->waitCursor);
}

TEST(Display, WindowsAreListedTopmostFirstAndGoWithTheirThread) {
    auto ui = std::make_unique<kv::ui::UiThread>();
    CDialog first(Dialogs(), IDD_NAME), second(Dialogs(), IDD_LIST);
    ui->Invoke([&] {
        first.Create(IDD_NAME);
        second.Create(IDD_LIST);
    });
    WaitForWindow("List");
    Drain(*ui);
    auto snapshot = kv::ui::CurrentSnapshot();
    ASSERT_EQ(snapshot->windows.size(), 2u);
    EXPECT_EQ(snapshot->windows[0].text, "List");
    EXPECT_EQ(snapshot->active, snapshot->windows[0].handle);
    BringWindowToTop(first.m_hWnd);
    Drain(*ui);
    EXPECT_EQ(kv::ui::CurrentSnapshot()->windows[0].text, "New Name");
    // Clicking into a window brings it up too.
    Click(Control(kv::ui::CurrentSnapshot()->windows[1], IDC_ASK));
    Drain(*ui);
    EXPECT_EQ(kv::ui::CurrentSnapshot()->windows[0].text, "List");
    ui.reset();
    WaitFor([](const Snapshot& s) { return s.windows.empty(); });
    EXPECT_EQ(first.m_hWnd, nullptr);
    EXPECT_EQ(second.m_hWnd, nullptr);
}

TEST(Display, ReadersOnOtherThreadsWhileWindowsChange) {
    kv::ui::UiThread ui;
    CDialog dialog(Dialogs(), IDD_NAME);
    ui.Invoke([&] { dialog.Create(IDD_NAME); });
    WindowView window = WaitForWindow("New Name");
    uint64_t edit = Control(window, IDC_NAME);
    std::atomic<bool> stop{false};
    std::vector<std::thread> readers;
    for (int r = 0; r < 3; ++r) {
        readers.emplace_back([&] {
            while (!stop) {
                auto s = kv::ui::WaitForSnapshot(kv::ui::CurrentSnapshot()->version, std::chrono::milliseconds(5));
                if (const WindowView* view = s->Find(edit)) (void)view->text.size();
            }
        });
    }
    for (int i = 0; i < 200; ++i) Type(edit, "text " + std::to_string(i));
    WaitFor([&](const Snapshot& s) {
        const WindowView* view = s.Find(edit);
        return view != nullptr && view->text == "text 199";
    });
    stop = true;
    for (auto& reader : readers) reader.join();
    ui.Invoke([&] { dialog.DestroyWindow(); });
}

TEST(Display, InputForWindowsThatAreGoneIsRefused) {
    EXPECT_FALSE(kv::ui::PostInput(Input{}));
    Input input;
    input.type = InputType::Click;
    input.target = 0x7FFFFFF0;
    EXPECT_FALSE(kv::ui::PostInput(input));
}

}  // namespace
