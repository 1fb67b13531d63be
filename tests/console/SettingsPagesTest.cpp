// The General and Excluded extensions pages as the user drives them: what
// they show, what they refuse, and what they write to the settings key and
// to ExtExcluded.dat.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <future>
#include <memory>

#include "common/ResourceModule.h"
#include "common/Settings.h"
#include "console/pages/ExtListPage.h"
#include "console/pages/GenSetPage.h"
#include "console/resources/resource.h"
#include "console/settings/ExtensionList.h"
#include "console/tree/FileRules.h"
#include "platform/library/Library.h"
#include "platform/ui/CommDlg.h"
#include "platform/ui/Display.h"
#include "platform/ui/UiThread.h"
#include "tests/console/ConsoleFixture.h"
#include "tests/ui/DisplayWait.h"

namespace {

namespace fs = std::filesystem;
using kv::ui::Input;
using kv::ui::InputType;
using kv::ui::Snapshot;
using kv::ui::WindowKind;
using kv::ui::WindowView;

std::string Text(UINT id) {
    std::string text;
    LoadResourceString(id, text);
    return text;
}


const WindowView* TopWindow(const Snapshot& s, const std::string& caption) {
    for (const WindowView& w : s.windows)
        if (w.text == caption) return &w;
    return nullptr;
}

uint64_t WaitForWindow(const std::string& caption) {
    auto shown = kvtest::WaitForDisplay([&](const Snapshot& s) { return TopWindow(s, caption) != nullptr; });
    const WindowView* window = TopWindow(*shown, caption);
    return window != nullptr ? window->handle : 0;
}

void Post(InputType type, uint64_t target, const std::string& text = std::string(), UINT key = 0, int item = -1) {
    Input input;
    input.type = type;
    input.target = target;
    input.text = text;
    input.key = key;
    input.item = item;
    EXPECT_TRUE(kv::ui::PostInput(input));
}

class SettingsPages : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(LoadLibraryA(kvtest::BinPath("OrvConsole.so").c_str()), nullptr);
        fs::create_directories(f.root.DriveC() + "/tmp");
        ::setenv("TMP", "C:\\tmp", 1);
        boxes = f.root.Path() + "/boxes.log";
        ::setenv("KESTRAVA_MSGBOX_LOG", boxes.c_str(), 1);
        ext = f.db->DataFolder() + "/ExtExcluded.dat";
    }
    void TearDown() override {
        if (open) Press(IDCANCEL);
        ::unsetenv("TMP");
        ::unsetenv("KESTRAVA_MSGBOX_LOG");
    }

    // The two pages in a sheet, modal on the UI thread, on the tab given.
    void Open(int tab = 0) {
        f.RefreshSettings();
        GetExtensionList();
        ui.Post([this, tab] {
            CPropertySheet sheet("General Properties", nullptr, static_cast<UINT>(tab));
            CGenSetPage general;
            CExtListPage extensions;
            extPage = &extensions;
            sheet.AddPage(&general);
            sheet.AddPage(&extensions);
            INT_PTR result = sheet.DoModal();
            extPage = nullptr;
            done.set_value(result);
        });
        sheet = WaitForWindow("General Properties");
        open = true;
    }
    const WindowView* Page(const Snapshot& s, int tab) {
        const WindowView* view = s.Find(sheet);
        if (view == nullptr || view->activeTab != tab) return nullptr;
        for (const WindowView& child : view->children)
            if (child.kind == WindowKind::PropertyPage && child.visible && child.text == view->tabs[static_cast<size_t>(tab)])
                return &child;
        return nullptr;
    }
    // A control of the page on that tab, as the display shows it now.
    WindowView Control(int tab, int id) {
        WindowView found;
        kvtest::WaitForDisplay([&](const Snapshot& s) {
            const WindowView* page = Page(s, tab);
            const WindowView* control = page != nullptr ? Snapshot::FindChild(*page, id) : nullptr;
            if (control != nullptr) found = *control;
            return control != nullptr;
        });
        return found;
    }
    std::vector<std::string> Extensions() {
        Settle();
        std::vector<std::string> texts;
        WindowView list = Control(1, IDC_EXTENSION_LIST);
        if (list.list)
            for (const auto& item : list.list->items) texts.push_back(item.texts.at(0));
        return texts;
    }
    // Waits until the UI thread has handled every input posted so far (a
    // posted call runs after them, in a modal loop too) and published what
    // its windows show.
    void Settle() {
        auto handled = std::make_shared<std::promise<void>>();
        std::future<void> settled = handled->get_future();
        ui.Post([handled] {
            kv::ui::CurrentSnapshot();
            handled->set_value();
        });
        ASSERT_EQ(settled.wait_for(std::chrono::seconds(20)), std::future_status::ready);
    }
    void Press(int button) {
        Post(InputType::Click, Snapshot::FindChild(*kv::ui::CurrentSnapshot()->Find(sheet), button)->handle);
        if (button != ID_APPLY_NOW) {
            ASSERT_EQ(result.wait_for(std::chrono::seconds(20)), std::future_status::ready);
            open = false;
        }
        Settle();
    }
    // Types into the modal dialog of that caption and presses its OK.
    void Answer(const std::string& caption, int edit, const std::string& text, int button = IDOK) {
        uint64_t dialog = WaitForWindow(caption);
        auto shown = kv::ui::CurrentSnapshot();
        const WindowView* view = shown->Find(dialog);
        ASSERT_NE(view, nullptr);
        Post(InputType::SetText, Snapshot::FindChild(*view, edit)->handle, text);
        Post(InputType::Click, Snapshot::FindChild(*view, button)->handle);
        Settle();
    }
    void AddExtension(const std::string& typed) {
        Post(InputType::Click, Control(1, IDC_ADD_EXTENSION).handle);
        Answer(Text(18), IDC_EXTENSION, typed);
    }
    size_t Entries(const std::string& folder) {
        size_t n = 0;
        for (const auto& entry : fs::directory_iterator(folder)) {
            (void)entry;
            ++n;
        }
        return n;
    }
    std::string Boxes() { return fs::exists(boxes) ? kvtest::ReadTextFile(boxes) : std::string(); }

    kvtest::ConsoleFixture f;
    kv::ui::UiThread ui;
    std::promise<INT_PTR> done;
    std::future<INT_PTR> result = done.get_future();
    uint64_t sheet = 0;
    bool open = false;
    CExtListPage* extPage = nullptr;
    std::string boxes, ext;
};

TEST_F(SettingsPages, ChangingOnlyThePortWritesSmtpPortAndLeavesServerIp) {
    f.root.SetString("SERVERIP", "mail.example.org");
    f.root.SetDword("SMTPPORT", 25);
    Open();
    EXPECT_EQ(Control(0, IDC_SMTP_SERVER).text, "mail.example.org");
    EXPECT_EQ(Control(0, IDC_SMTP_PORT).text, "25");
    EXPECT_EQ(Control(0, IDC_SMTP_PORT).textLimit, 5);
    EXPECT_EQ(Control(0, IDC_DEFAULT_PORT).text, "(Default: 25)");

    // Another writer changed the server since the console read it: a page
    // that only changed the port must not write its old copy back.
    f.root.SetString("SERVERIP", "written.elsewhere");
    Post(InputType::SetText, Control(0, IDC_SMTP_PORT).handle, "2525");
    Press(IDOK);
    EXPECT_EQ(result.get(), IDOK);
    EXPECT_EQ(f.root.GetDword("SMTPPORT"), 2525u);
    EXPECT_EQ(f.root.GetString("SERVERIP"), "written.elsewhere");
    EXPECT_EQ(g_dwSmtpPort, 2525u);
}

TEST_F(SettingsPages, AnEmptyServerOrABadPortIsRefusedAndNothingIsWritten) {
    f.root.SetString("SERVERIP", "mail.example.org");
    f.root.SetDword("SMTPPORT", 25);
    Open();
    Post(InputType::SetText, Control(0, IDC_SMTP_SERVER).handle, "   ");
    Post(InputType::SetText, Control(0, IDC_SMTP_PORT).handle, "26");
    Press(ID_APPLY_NOW);
    EXPECT_NE(Boxes().find(Text(78)), std::string::npos);
    EXPECT_EQ(f.root.GetString("SERVERIP"), "mail.example.org");
    EXPECT_EQ(f.root.GetDword("SMTPPORT"), 25u);

    Post(InputType::SetText, Control(0, IDC_SMTP_SERVER).handle, "smtp.example.org");
    for (const char* port : {"", "0", "70000"}) {
        fs::remove(boxes);
        Post(InputType::SetText, Control(0, IDC_SMTP_PORT).handle, port);
        Press(ID_APPLY_NOW);
        EXPECT_NE(Boxes().find(Text(79)), std::string::npos) << port;
        EXPECT_EQ(f.root.GetDword("SMTPPORT"), 25u);
    }
    EXPECT_EQ(f.root.GetString("SERVERIP"), "mail.example.org");

    Post(InputType::SetText, Control(0, IDC_SMTP_PORT).handle, "25");
    Press(ID_APPLY_NOW);
    EXPECT_EQ(f.root.GetString("SERVERIP"), "smtp.example.org");
    EXPECT_EQ(f.root.GetDword("SMTPPORT"), 25u);
}

TEST_F(SettingsPages, AddingAnExtensionTheListHoldsChangesNothingAndAppliedEntriesReachTheFile) {
    kvtest::WriteTextFile(ext, "DOC\r\n");
    Open(1);
    EXPECT_EQ(Extensions(), std::vector<std::string>{"DOC"});
    EXPECT_FALSE(Control(1, IDC_REMOVE_EXTENSION).enabled);
    EXPECT_TRUE(Control(1, IDC_EXPORT_EXTENSIONS).enabled);

    AddExtension("doc");
    EXPECT_EQ(Extensions(), std::vector<std::string>{"DOC"});
    EXPECT_FALSE(Snapshot::FindChild(*kv::ui::CurrentSnapshot()->Find(sheet), ID_APPLY_NOW)->enabled);

    // What people type for an extension is taken as the extension; what no
    // name could end with is refused while the dialog is still up.
    AddExtension("*.tmp");
    AddExtension(" .Log ");
    AddExtension("tar.gz");
    EXPECT_NE(Boxes().find(Text(1201)), std::string::npos);
    uint64_t dialog = WaitForWindow(Text(18));
    Post(InputType::Click, Snapshot::FindChild(*kv::ui::CurrentSnapshot()->Find(dialog), IDCANCEL)->handle);
    EXPECT_EQ(Extensions(), (std::vector<std::string>{"DOC", "LOG", "TMP"}));

    Press(IDOK);
    EXPECT_EQ(kvtest::ReadTextFile(ext), "DOC\r\nLOG\r\nTMP\r\n");
    EXPECT_EQ(g_strExtList, "*.DOC,*.LOG,*.TMP");
    for (const auto& entry : fs::directory_iterator(f.db->DataFolder()))
        EXPECT_NE(entry.path().filename().string()[0], '.') << "left behind: " << entry.path();
    EXPECT_EQ(Entries(f.root.DriveC() + "/tmp"), 0u);
    // The tree hides by the new list at once.
    EXPECT_TRUE(IsExcludedName("a.log"));
    EXPECT_TRUE(IsExcludedName("a.Log"));
    EXPECT_FALSE(IsExcludedName("a.logs"));
    EXPECT_TRUE(IsExcludedName("backup.tmp"));
    EXPECT_FALSE(IsExcludedName("README"));
}

TEST_F(SettingsPages, CancelLeavesTheFileAsItWasAndNoWorkingFile) {
    kvtest::WriteTextFile(ext, "tmp\r\nlog\r\n");
    Open(1);
    EXPECT_EQ(Extensions(), (std::vector<std::string>{"LOG", "TMP"}));
    Input select;
    select.type = InputType::SelectItems;
    select.target = Control(1, IDC_EXTENSION_LIST).handle;
    select.items = {0};
    ASSERT_TRUE(kv::ui::PostInput(select));
    Settle();
    EXPECT_TRUE(Control(1, IDC_REMOVE_EXTENSION).enabled);
    Post(InputType::Key, Control(1, IDC_EXTENSION_LIST).handle, "", VK_DELETE);
    EXPECT_EQ(Extensions(), std::vector<std::string>{"TMP"});
    // Leaving the page and coming back keeps the edits not applied yet.
    Input tab;
    tab.type = InputType::SelectTab;
    tab.target = sheet;
    tab.item = 0;
    ASSERT_TRUE(kv::ui::PostInput(tab));
    Control(0, IDC_SMTP_SERVER);
    tab.item = 1;
    ASSERT_TRUE(kv::ui::PostInput(tab));
    EXPECT_EQ(Extensions(), std::vector<std::string>{"TMP"});
    EXPECT_EQ(Entries(f.root.DriveC() + "/tmp"), 1u);

    Press(IDCANCEL);
    EXPECT_EQ(kvtest::ReadTextFile(ext), "tmp\r\nlog\r\n");
    EXPECT_EQ(Entries(f.root.DriveC() + "/tmp"), 0u);
}

TEST_F(SettingsPages, ExportImportAndApplyRoundTripAListThroughTheFileDialogs) {
    kvtest::WriteTextFile(ext, "VOID\r\nbak\r\n");
    fs::create_directories(f.root.DriveC() + "/lists");
    Open(1);
    Post(InputType::Click, Control(1, IDC_EXPORT_EXTENSIONS).handle);
    // Typed without extension: the dialog adds "txt".
    Answer(Text(60), KV_FILEDLG_NAME, "C:\\Lists\\saved");
    EXPECT_EQ(kvtest::ReadTextFile(f.root.DriveC() + "/lists/saved.txt"), "BAK\r\nVOID\r\n");

    // An empty list, then the saved one imported and applied.
    for (int i = 0; i < 2; ++i) {
        Input select;
        select.type = InputType::SelectItems;
        select.target = Control(1, IDC_EXTENSION_LIST).handle;
        select.items = {0};
        ASSERT_TRUE(kv::ui::PostInput(select));
        Post(InputType::Click, Control(1, IDC_REMOVE_EXTENSION).handle);
        Settle();
    }
    EXPECT_TRUE(Extensions().empty());
    EXPECT_FALSE(Control(1, IDC_EXPORT_EXTENSIONS).enabled);
    Press(ID_APPLY_NOW);
    EXPECT_EQ(kvtest::ReadTextFile(ext), "");
    EXPECT_EQ(g_strExtList, "");

    Post(InputType::Click, Control(1, IDC_IMPORT_EXTENSIONS).handle);
    Answer("Open", KV_FILEDLG_NAME, "C:\\lists\\SAVED.TXT");
    EXPECT_EQ(Extensions(), (std::vector<std::string>{"BAK", "VOID"}));
    Press(IDOK);
    EXPECT_EQ(kvtest::ReadTextFile(ext), "BAK\r\nVOID\r\n");
    EXPECT_TRUE(IsExcludedName("README"));
}

TEST_F(SettingsPages, ACommitThatCannotReplaceTheFileSaysSoAndKeepsTheEdits) {
    // A folder where the list file belongs: nothing can be renamed over it.
    fs::remove(ext);
    fs::create_directories(ext);
    Open(1);
    EXPECT_NE(Boxes().find("Access is denied."), std::string::npos);
    AddExtension("iso");
    fs::remove(boxes);
    Press(ID_APPLY_NOW);
    EXPECT_FALSE(Boxes().empty());
    EXPECT_TRUE(fs::is_directory(ext));
    EXPECT_EQ(Extensions(), std::vector<std::string>{"ISO"});
    EXPECT_TRUE(Snapshot::FindChild(*kv::ui::CurrentSnapshot()->Find(sheet), ID_APPLY_NOW)->enabled);
}

TEST(ExtensionListFile, IsFoundWhateverTheCaseOfItsName) {
    kvtest::ConsoleFixture f;
    fs::remove(f.db->DataFolder() + "/ExtExcluded.dat");
    kvtest::WriteTextFile(f.db->DataFolder() + "/extexcluded.DAT", "tmp\r\nlog\r\n");
    f.RefreshSettings();
    GetExtensionList();
    EXPECT_EQ(g_strExtList, "*.TMP,*.LOG");
    fs::remove(f.db->DataFolder() + "/extexcluded.DAT");
    GetExtensionList();
    EXPECT_EQ(g_strExtList, "");
    EXPECT_FALSE(IsExcludedName("a.log"));
}

}  // namespace
