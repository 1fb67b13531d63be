// Modal loops inside modal loops, refused data keeping a dialog open, the
// keyboard between controls, and loops that end because their thread does.
#include <future>
#include <thread>

#include "tests/ui/UiTestSupport.h"

namespace {

using namespace uitest;

class HoursDialog : public CDialog {
public:
    HoursDialog() : CDialog(Dialogs(), IDD_CONTROLS) {}
    int hours = 0;

protected:
    void DoDataExchange(CDataExchange* dx) override {
        DDX_Text(dx, IDC_HOURS, hours);
        DDV_MinMaxInt(dx, hours, 1, 99);
    }
};

TEST(ModalLoop, RefusedDataShowsABoxAndKeepsTheDialogOpen) {
    kv::ui::EnableDisplay();
    kv::ui::UiThread ui;
    HoursDialog dialog;
    std::promise<INT_PTR> result;
    auto done = result.get_future();
    ui.Post([&] { result.set_value(dialog.DoModal()); });
    WindowView window = WaitForWindow("Controls");
    uint64_t hours = Control(window, IDC_HOURS);
    Type(hours, "0");
    Click(Control(window, IDOK));
    // The box is modal on top of the dialog, which is modal itself.
    auto shown = WaitFor([](const Snapshot& s) { return s.modalChain.size() == 2; });
    const WindowView& box = shown->windows.front();
    EXPECT_EQ(box.kind, WindowKind::MessageBox);
    EXPECT_EQ(box.icon, "warning");
    EXPECT_EQ(shown->modalChain[0], window.handle);
    EXPECT_EQ(shown->modalChain[1], box.handle);
    EXPECT_EQ(box.owner, window.handle);
    EXPECT_FALSE(shown->Find(window.handle)->enabled);
    Click(Control(box, IDOK));
    auto back = WaitFor([](const Snapshot& s) { return s.modalChain.size() == 1; });
    // Still open, enabled again, with the focus on the refused field.
    EXPECT_TRUE(back->Find(window.handle)->enabled);
    EXPECT_EQ(back->focus, hours);
    Type(hours, "12");
    Click(Control(window, IDOK));
    EXPECT_EQ(done.get(), IDOK);
    EXPECT_EQ(dialog.hours, 12);
}

TEST(ModalLoop, TabMovesTheFocusThroughTheTabStops) {
    kv::ui::UiThread ui;
    CDialog dialog(Dialogs(), IDD_NAME);
    std::promise<INT_PTR> result;
    auto done = result.get_future();
    ui.Post([&] { result.set_value(dialog.DoModal()); });
    WindowView window = WaitForWindow("New Name");
    uint64_t edit = Control(window, IDC_NAME), ok = Control(window, IDOK), cancel = Control(window, IDCANCEL);
    WaitFor([&](const Snapshot& s) { return s.focus == edit; });
    Key(0, VK_TAB);
    WaitFor([&](const Snapshot& s) { return s.focus == ok; });
    Key(0, VK_TAB);
    WaitFor([&](const Snapshot& s) { return s.focus == cancel; });
    Key(0, VK_TAB);
    WaitFor([&](const Snapshot& s) { return s.focus == edit; });
    Key(0, VK_TAB, false, true);
    WaitFor([&](const Snapshot& s) { return s.focus == cancel; });
    // Enter on a focused button presses that button, not the default one.
    Key(0, VK_RETURN);
    EXPECT_EQ(done.get(), IDCANCEL);
}

TEST(ModalLoop, AWorkerMayEndTheDialogItself) {
    kv::ui::UiThread ui;
    CDialog dialog(Dialogs(), IDD_NAME);
    std::promise<INT_PTR> result;
    auto done = result.get_future();
    ui.Post([&] { result.set_value(dialog.DoModal()); });
    WindowView window = WaitForWindow("New Name");
    std::thread worker([&] { EXPECT_TRUE(EndDialog(kv::ui::ToHwnd(window.handle), 5)); });
    worker.join();
    EXPECT_EQ(done.get(), 5);
}

TEST(ModalLoop, LoopsEndAsCancelledWhenTheirThreadIsStopped) {
    kv::ui::EnableDisplay();
    auto ui = std::make_unique<kv::ui::UiThread>();
    CDialog dialog(Dialogs(), IDD_NAME);
    INT_PTR dialogResult = 0;
    int boxResult = 0;
    ui->Post([&] {
        dialogResult = dialog.DoModal();
    });
    WindowView window = WaitForWindow("New Name");
    ui->Post([&] { boxResult = MessageBoxA(kv::ui::ToHwnd(window.handle), "Delete?", "Confirm", MB_YESNO); });
    WaitForWindow("Confirm");
    ui.reset();
    // The box answers No (it has no Cancel), the dialog Cancel.
    EXPECT_EQ(boxResult, IDNO);
    EXPECT_EQ(dialogResult, IDCANCEL);
    EXPECT_EQ(dialog.m_hWnd, nullptr);
}

}  // namespace
