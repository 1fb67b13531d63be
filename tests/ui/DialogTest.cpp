// Dialogs from templates: modal loops and their end codes, the dialog keys,
// the controls as the user works them, message boxes, and a worker that
// reaches a dialog while its modal loop runs.
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>
#include <thread>

#include "tests/ui/UiTestSupport.h"

namespace {

using namespace uitest;

class NameDialog : public CDialog {
public:
    NameDialog() : CDialog(Dialogs(), IDD_NAME) {
        OnCommandFrom(IDC_NAME, EN_MAXTEXT, [this] { ++maxText; });
        OnCommandFrom(IDC_NAME, EN_CHANGE, [this] { changedOn = GetCurrentThreadId(); });
    }
    std::string name = "unchanged";
    int maxText = 0;
    std::atomic<DWORD> changedOn{0};

protected:
    BOOL OnInitDialog() override {
        CDialog::OnInitDialog();
        SendDlgItemMessage(IDC_NAME, EM_LIMITTEXT, 8);
        return TRUE;
    }
    void DoDataExchange(CDataExchange* dx) override {
        if (dx->m_bSaveAndValidate) DDX_Text(dx, IDC_NAME, name);
    }
};

struct ModalRun {
    std::promise<INT_PTR> result;
    std::future<INT_PTR> Future() { return result.get_future(); }
};

TEST(Dialog, TemplatesAreFoundByIdInTheirModule) {
    ASSERT_NE(Dialogs(), nullptr);
    const KvDialogTemplate* found = FindDialogTemplate(Dialogs(), MAKEINTRESOURCE(IDD_NAME));
    ASSERT_NE(found, nullptr);
    EXPECT_STREQ(found->caption, "New Name");
    ASSERT_EQ(found->itemCount, 4u);
    EXPECT_STREQ(found->items[1].className, WC_EDIT);
    EXPECT_EQ(found->items[1].id, IDC_NAME);
    EXPECT_EQ(found->items[2].style & BS_TYPEMASK, BS_DEFPUSHBUTTON);
    EXPECT_EQ(FindDialogTemplate(Dialogs(), "#101"), found);
    EXPECT_EQ(FindDialogTemplate(Dialogs(), MAKEINTRESOURCE(999)), nullptr);
    EXPECT_EQ(FindDialogTemplate(Dialogs(), "101"), nullptr);
    EXPECT_EQ(DialogBoxParam(Dialogs(), MAKEINTRESOURCE(999), nullptr, nullptr, 0), -1);
    CDialog missing(Dialogs(), 999);
    EXPECT_EQ(missing.DoModal(), -1);
}

TEST(Dialog, ModalLoopEndsWithTheButtonsCode) {
    kv::ui::UiThread ui;
    struct Case {
        const char* how;
        INT_PTR expected;
    };
    for (const Case& c : {Case{"ok", IDOK}, Case{"enter", IDOK}, Case{"escape", IDCANCEL}, Case{"close", IDCANCEL},
                          Case{"cancel", IDCANCEL}}) {
        SCOPED_TRACE(c.how);
        NameDialog dialog;
        ModalRun run;
        auto result = run.Future();
        ui.Post([&] { run.result.set_value(dialog.DoModal()); });
        WindowView window = WaitForWindow("New Name");
        uint64_t edit = Control(window, IDC_NAME);
        Type(edit, "Daily");
        std::string how = c.how;
        if (how == "ok") Click(Control(window, IDOK));
        if (how == "cancel") Click(Control(window, IDCANCEL));
        if (how == "enter") Key(edit, VK_RETURN);
        if (how == "escape") Key(edit, VK_ESCAPE);
        if (how == "close") {
            Input close;
            close.type = InputType::Close;
            close.target = window.handle;
            Post(close);
        }
        EXPECT_EQ(result.get(), c.expected);
        EXPECT_EQ(dialog.name, c.expected == IDOK ? "Daily" : "unchanged");
        EXPECT_EQ(dialog.m_hWnd, nullptr);
        WaitFor([](const Snapshot& s) { return !Shows(s, "New Name"); });
    }
}

TEST(Dialog, TypingStopsAtTheTextLimitButTheProgramDoesNot) {
    kv::ui::UiThread ui;
    NameDialog dialog;
    ModalRun run;
    auto result = run.Future();
    ui.Post([&] { run.result.set_value(dialog.DoModal()); });
    WindowView window = WaitForWindow("New Name");
    uint64_t edit = Control(window, IDC_NAME);
    EXPECT_EQ(Snapshot::FindChild(window, IDC_NAME)->textLimit, 8);
    // Characters, not bytes: eight umlauts are sixteen bytes.
    Type(edit, "\xC3\xA4\xC3\xB6\xC3\xBC\xC3\xA4\xC3\xB6\xC3\xBC\xC3\xA4\xC3\xB6xyz");
    auto shown = WaitFor([&](const Snapshot& s) {
        const WindowView* control = s.Find(edit);
        return control != nullptr && !control->text.empty();
    });
    EXPECT_EQ(shown->Find(edit)->text, "\xC3\xA4\xC3\xB6\xC3\xBC\xC3\xA4\xC3\xB6\xC3\xBC\xC3\xA4\xC3\xB6");
    Drain(ui);
    EXPECT_EQ(dialog.maxText, 1);
    ui.Invoke([&] { dialog.SetDlgItemText(IDC_NAME, "a name longer than eight"); });
    Drain(ui);
    EXPECT_EQ(kv::ui::CurrentSnapshot()->Find(edit)->text, "a name longer than eight");
    Click(Control(window, IDOK));
    EXPECT_EQ(result.get(), IDOK);
    EXPECT_EQ(dialog.name, "a name longer than eight");
}

TEST(Dialog, WorkerReachesTheDialogWhileItsModalLoopRuns) {
    // The pattern of the console's wait dialogs: a worker started by the
    // dialog works through SendMessage and ends it with a posted message.
    class WaitDialog : public NameDialog {
    public:
        WaitDialog() {
            OnMessage(WM_USER + 1, [this](WPARAM, LPARAM) -> LRESULT {
                EndDialog(77);
                return 0;
            });
        }
        std::thread worker;

    protected:
        BOOL OnInitDialog() override {
            NameDialog::OnInitDialog();
            HWND dialog = m_hWnd;
            HWND edit = ::GetDlgItem(dialog, IDC_NAME);
            worker = std::thread([dialog, edit] {
                ::SetWindowText(edit, "from worker");
                char text[32] = {};
                ::GetWindowText(edit, text, sizeof text);
                if (std::string(text) == "from worker") ::PostMessage(dialog, WM_USER + 1, 0, 0);
            });
            return TRUE;
        }
    };
    kv::ui::UiThread ui;
    WaitDialog dialog;
    INT_PTR result = 0;
    ui.Invoke([&] { result = dialog.DoModal(); });
    dialog.worker.join();
    EXPECT_EQ(result, 77);
    EXPECT_EQ(dialog.changedOn.load(), ui.ThreadId());
}

class ControlsDialog : public CDialog {
public:
    ControlsDialog() : CDialog(Dialogs(), IDD_CONTROLS) {
        OnCommandFrom(IDC_DISABLED, BN_CLICKED, [this] { ++disabledClicks; });
        OnCommandFrom(IDC_HOURS, EN_CHANGE, [this] { ++hoursChanges; });
        OnNotifyFrom(IDC_TIME, DTN_DATETIMECHANGE, [this](NMHDR* header, LRESULT*) {
            changedTime = reinterpret_cast<NMDATETIMECHANGE*>(header)->st;
        });
    }
    int disabledClicks = 0;
    int hoursChanges = 0;
    SYSTEMTIME changedTime{};
    int choice = -1;
    int all = 0;

protected:
    BOOL OnInitDialog() override {
        CDialog::OnInitDialog();
        SendDlgItemMessage(IDC_SPIN, UDM_SETRANGE32, 1, 5);
        SendDlgItemMessage(IDC_SPIN, UDM_SETPOS32, 0, 2);
        SYSTEMTIME start{2026, 12, 0, 9, 8, 0, 0, 0};
        SendDlgItemMessage(IDC_DATE, DTM_SETSYSTEMTIME, GDT_VALID, reinterpret_cast<LPARAM>(&start));
        SendDlgItemMessage(IDC_TIME, DTM_SETSYSTEMTIME, GDT_VALID, reinterpret_cast<LPARAM>(&start));
        CheckRadioButton(IDC_ONE, IDC_TWO, IDC_ONE);
        return TRUE;
    }
    void DoDataExchange(CDataExchange* dx) override {
        DDX_Radio(dx, IDC_ONE, choice);
        DDX_Check(dx, IDC_ALL, all);
    }
};

TEST(Dialog, ControlsFollowTheUser) {
    kv::ui::UiThread ui;
    ControlsDialog dialog;
    ModalRun run;
    auto result = run.Future();
    ui.Post([&] { run.result.set_value(dialog.DoModal()); });
    WindowView window = WaitForWindow("Controls");
    EXPECT_EQ(Snapshot::FindChild(window, IDC_HOURS)->text, "2");  // the spin's buddy
    EXPECT_FALSE(Snapshot::FindChild(window, IDC_HIDDEN)->visible);
    EXPECT_FALSE(Snapshot::FindChild(window, IDC_DISABLED)->enabled);
    const WindowView* animation = Snapshot::FindChild(window, IDC_ANIMATE);
    EXPECT_EQ(animation->clip, "search");
    EXPECT_TRUE(animation->playing);

    Click(Control(window, IDC_TWO));
    Click(Control(window, IDC_ALL));
    Click(Control(window, IDC_DISABLED));
    Input command;
    command.type = InputType::Command;
    command.target = window.handle;
    command.value = IDC_DISABLED;  // the same command by another way is refused too
    Post(command);
    Input spin;
    spin.type = InputType::Spin;
    spin.target = Control(window, IDC_SPIN);
    spin.value = 1;
    Post(spin);
    Post(spin);
    Post(spin);
    Post(spin);  // stops at the top of the range
    auto spun = WaitFor([&](const Snapshot& s) {
        const WindowView* hours = s.Find(Control(window, IDC_HOURS));
        return hours != nullptr && hours->text == "5";
    });
    EXPECT_EQ(spun->Find(Control(window, IDC_SPIN))->position, 5);
    Type(Control(window, IDC_HOURS), "1a");  // a number box keeps the digits
    Input time;
    time.type = InputType::SetTime;
    time.target = Control(window, IDC_TIME);
    time.time = SYSTEMTIME{1999, 1, 0, 1, 17, 45, 0, 0};
    Post(time);
    // The typing and the picked time are separate inputs: a snapshot may come between them.
    auto shown = WaitFor([&](const Snapshot& s) {
        const WindowView* hours = s.Find(Control(window, IDC_HOURS));
        const WindowView* picker = s.Find(Control(window, IDC_TIME));
        return hours != nullptr && hours->text == "1" && picker != nullptr && picker->time.wMinute == 45;
    });
    const WindowView* view = shown->Find(window.handle);
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(Snapshot::FindChild(*view, IDC_ONE)->check, BST_UNCHECKED);
    EXPECT_EQ(Snapshot::FindChild(*view, IDC_TWO)->check, BST_CHECKED);
    EXPECT_EQ(Snapshot::FindChild(*view, IDC_ALL)->check, BST_CHECKED);
    const WindowView* picker = Snapshot::FindChild(*view, IDC_TIME);
    EXPECT_TRUE(picker->timeFormat);
    // A time picker takes the time of day and keeps its date.
    EXPECT_EQ(picker->time.wYear, 2026);
    EXPECT_EQ(picker->time.wHour, 17);
    EXPECT_EQ(picker->time.wMinute, 45);
    EXPECT_EQ(picker->time.wDayOfWeek, 3);  // 9 December 2026 is a Wednesday
    Drain(ui);
    EXPECT_EQ(dialog.disabledClicks, 0);
    EXPECT_GE(dialog.hoursChanges, 4);  // three spins and the typing
    EXPECT_EQ(dialog.changedTime.wHour, 17);
    Click(Control(window, IDOK));
    EXPECT_EQ(result.get(), IDOK);
    EXPECT_EQ(dialog.choice, 1);
    EXPECT_EQ(dialog.all, BST_CHECKED);
}

TEST(Dialog, WindowsBehindAModalDialogTakeNoInput) {
    kv::ui::UiThread ui;
    NameDialog behind;
    int behindCommands = 0;
    behind.OnCommandFrom(IDCANCEL, BN_CLICKED, [&] { ++behindCommands; });
    ui.Invoke([&] { ASSERT_TRUE(behind.Create(IDD_NAME)); });
    WindowView back = WaitForWindow("New Name");
    ControlsDialog front;
    ModalRun run;
    auto result = run.Future();
    ui.Post([&] { run.result.set_value(front.DoModal()); });
    WindowView window = WaitForWindow("Controls");
    auto snapshot = kv::ui::CurrentSnapshot();
    EXPECT_EQ(snapshot->windows.front().text, "Controls");
    ASSERT_EQ(snapshot->modalChain.size(), 1u);
    EXPECT_EQ(snapshot->modalChain[0], window.handle);
    Click(Control(back, IDCANCEL));
    Type(Control(back, IDC_NAME), "ignored");
    Drain(ui);
    EXPECT_EQ(behindCommands, 0);
    Click(Control(window, IDCANCEL));
    EXPECT_EQ(result.get(), IDCANCEL);
    Click(Control(back, IDCANCEL));
    Drain(ui);
    EXPECT_EQ(behindCommands, 1);
    EXPECT_TRUE(kv::ui::CurrentSnapshot()->Find(Control(back, IDC_NAME))->text.empty());
    ui.Invoke([&] { behind.DestroyWindow(); });
}

TEST(Dialog, MessageBoxesAreWindowsWithTheirButtonsAndIcon) {
    kv::ui::EnableDisplay();
    kv::ui::UiThread ui;
    std::promise<int> answer;
    auto future = answer.get_future();
    ui.Post([&] { answer.set_value(MessageBoxA(nullptr, "Delete the scan job?", "Confirm", MB_YESNO | MB_ICONQUESTION)); });
    WindowView box = WaitForWindow("Confirm");
    EXPECT_EQ(box.kind, WindowKind::MessageBox);
    EXPECT_EQ(box.icon, "question");
    EXPECT_TRUE(box.modal);
    std::vector<std::string> texts;
    for (const WindowView& child : box.children) texts.push_back(child.text);
    EXPECT_NE(std::find(texts.begin(), texts.end(), "Delete the scan job?"), texts.end());
    ASSERT_NE(Snapshot::FindChild(box, IDYES), nullptr);
    EXPECT_TRUE(Snapshot::FindChild(box, IDYES)->defaultButton);
    EXPECT_EQ(Snapshot::FindChild(box, IDCANCEL), nullptr);
    // Yes / No has no way out by Escape.
    Key(box.handle, VK_ESCAPE);
    Drain(ui);
    EXPECT_TRUE(Shows(*kv::ui::CurrentSnapshot(), "Confirm"));
    Click(Control(box, IDNO));
    EXPECT_EQ(future.get(), IDNO);

    std::promise<int> second;
    auto secondFuture = second.get_future();
    ui.Post([&] { second.set_value(MessageBoxA(nullptr, "Done.", nullptr, MB_OK | MB_ICONSTOP)); });
    WindowView plain = WaitForWindow("Error");
    EXPECT_EQ(plain.icon, "error");
    Key(0, VK_ESCAPE);
    EXPECT_EQ(secondFuture.get(), IDOK);
}

TEST(Dialog, TemplateCompilerNamesTheBadLine) {
    namespace fs = std::filesystem;
    fs::path folder = fs::temp_directory_path() / ("kvui-rcgen-" + std::to_string(::getpid()));
    fs::create_directories(folder);
    std::ofstream(folder / "bad.dlg") << "DIALOG 1 0 0 10 10 \"X\"\n  EDITTEXT 5 0 0 10 10 \"\" ES_NOSUCH\nEND\n";
    std::ofstream(folder / "open.dlg") << "DIALOG 1 0 0 10 10 \"X\"\n";
    std::ofstream(folder / "twice.dlg") << "DIALOG 1 0 0 10 10 \"X\"\nEND\nDIALOG 1 0 0 10 10 \"Y\"\nEND\n";
    auto compile = [&](const char* name) {
        std::string command = std::string(KV_RCGEN) + " --dialogs " + (folder / "out.cpp").string() + " " +
                              (folder / name).string() + " 2>" + (folder / "errors.txt").string();
        int status = std::system(command.c_str());
        std::ifstream in(folder / "errors.txt");
        std::string errors((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        return std::make_pair(status, errors);
    };
    auto [badStatus, badErrors] = compile("bad.dlg");
    EXPECT_NE(badStatus, 0);
    EXPECT_NE(badErrors.find("bad.dlg:2: unknown style ES_NOSUCH"), std::string::npos) << badErrors;
    auto [openStatus, openErrors] = compile("open.dlg");
    EXPECT_NE(openStatus, 0);
    EXPECT_NE(openErrors.find("has no END"), std::string::npos) << openErrors;
    auto [twiceStatus, twiceErrors] = compile("twice.dlg");
    EXPECT_NE(twiceStatus, 0);
    EXPECT_NE(twiceErrors.find("given twice"), std::string::npos) << twiceErrors;
    fs::remove_all(folder);
}

}  // namespace
