// The snap-in in the console host, driven as a user would: the tree, the
// scan-job list, the New Profile dialog, message boxes, rename and delete.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>

#include "console/module/ConsoleGuids.h"
#include "platform/library/Library.h"
#include "platform/mmc/host/ConsoleHost.h"
#include "platform/ui/Display.h"
#include "tests/console/ConsoleFixture.h"
#include "tests/console/ConsoleHostDriver.h"

namespace {

using namespace std::chrono_literals;
using kv::mmc::CommandType;
using kv::mmc::ConsoleHost;
using kv::mmc::HostCommand;
using kv::mmc::HostSnapshot;
using kv::mmc::ResultKind;
using kv::mmc::ViewSnapshot;
using kv::ui::WindowKind;
using kv::ui::WindowView;

class ConsoleView : public ::testing::Test, public kvtest::ConsoleHostDriver {
protected:
    void SetUp() override {
        RegisterSnapin();
    }

    void Start(bool version2 = true) { StartHost(version2); }
    ViewSnapshot Now() {
        WaitView([](const ViewSnapshot&) { return true; });
        return last;
    }
    std::vector<std::string> TreeNames() {
        std::vector<std::string> names;
        for (const auto& node : Now().tree) names.push_back(std::string(static_cast<size_t>(node.depth) * 2, ' ') + node.name);
        return names;
    }
    // Runs a context-menu command of a scope node.
    void MenuCommand(const std::string& name, const std::string& command) {
        const uint64_t previous = Now().menuId;
        HostCommand open;
        open.type = CommandType::ContextMenu;
        open.pane = "scope";
        open.item = NodeId(name);
        Post(open);
        ASSERT_TRUE(WaitView([&](const ViewSnapshot& v) {
            if (v.menuId == previous) return false;
            // New items sit in the menu's "New" submenu, as the console arranges them.
            for (const auto& item : v.menu) {
                if (item.command == command) return true;
                for (const auto& sub : item.children)
                    if (sub.command == command) return true;
            }
            return false;
        })) << "no " << command << " in the menu of " << name << ": " << MenuText();
        HostCommand run;
        run.type = CommandType::MenuCommand;
        run.menuId = last.menuId;
        run.command = command;
        Post(run);
    }

    // The in-place rename of a scope node, as F2 and typing would do it.
    void Rename(const std::string& name, const std::string& text) {
        Select(name);
        ScopeVerb("rename");
        ASSERT_TRUE(WaitView([](const ViewSnapshot& v) { return !v.renameTarget.empty(); })) << VerbText();
        HostCommand rename;
        rename.type = CommandType::Rename;
        rename.pane = "scope";
        rename.scope = true;
        rename.item = NodeId(name);
        rename.text = text;
        Post(rename);
    }
    std::string VerbText() {
        std::string text = "verbs:";
        for (const auto& [name, state] : last.verbs)
            text += " " + name + (state.visible ? "+" : "-") + (state.enabled ? "e" : "d");
        return text + " focus " + last.focus;
    }
    std::string MenuText() {
        std::string text = "menu " + std::to_string(last.menuId) + ":";
        for (const auto& item : last.menu) text += " [" + item.command + " " + item.text + "]";
        text += " tree:";
        for (const auto& node : last.tree) text += " " + node.name;
        return text;
    }

    // The topmost window of a kind, once it is up.
    std::optional<WindowView> WaitWindow(WindowKind kind) {
        auto deadline = std::chrono::steady_clock::now() + 10s;
        auto snapshot = kv::ui::CurrentSnapshot();
        while (std::chrono::steady_clock::now() < deadline) {
            for (const WindowView& window : snapshot->windows)
                if (window.kind == kind) return window;
            snapshot = kv::ui::WaitForSnapshot(snapshot->version, 200ms);
        }
        return std::nullopt;
    }
    static std::string Body(const WindowView& box) {
        for (const WindowView& child : box.children)
            if (child.kind == WindowKind::Static && child.icon.empty() && !child.text.empty()) return child.text;
        return std::string();
    }
    static void Press(const WindowView& window, int id) {
        for (const WindowView& child : window.children) {
            if (child.id == id && child.kind == WindowKind::PushButton) {
                kv::ui::Input click;
                click.type = kv::ui::InputType::Click;
                click.target = child.handle;
                ASSERT_TRUE(kv::ui::PostInput(click));
                return;
            }
        }
        FAIL() << "no button " << id << " in " << window.text;
    }
    // Answers the message box that comes up; its text.
    std::string AnswerMessageBox(int button) {
        auto box = WaitWindow(WindowKind::MessageBox);
        if (!box) return "<no message box>";
        std::string text = Body(*box);
        Press(*box, button);
        WaitGone(box->handle);
        return text;
    }
    void WaitGone(uint64_t handle) {
        auto deadline = std::chrono::steady_clock::now() + 10s;
        auto snapshot = kv::ui::CurrentSnapshot();
        while (std::chrono::steady_clock::now() < deadline && snapshot->Find(handle) != nullptr)
            snapshot = kv::ui::WaitForSnapshot(snapshot->version, 200ms);
    }
    void CreateThroughDialog(const std::string& name) {
        MenuCommand("Scan jobs", "cmd:248");
        auto dialog = WaitWindow(WindowKind::Dialog);
        ASSERT_TRUE(dialog.has_value());
        ASSERT_EQ(dialog->text, "New Profile");
        for (const WindowView& child : dialog->children) {
            if (child.kind == WindowKind::Edit) {
                kv::ui::Input type;
                type.type = kv::ui::InputType::SetText;
                type.target = child.handle;
                type.text = name;
                ASSERT_TRUE(kv::ui::PostInput(type));
            }
        }
        Press(*dialog, IDOK);
        WaitGone(dialog->handle);
    }
    // A new scan job opens its property sheet at once; closes it.
    void CloseNewJobSheet(const std::string& name) {
        auto sheet = WaitWindow(WindowKind::PropertySheet);
        ASSERT_TRUE(sheet.has_value());
        EXPECT_EQ(sheet->text, name + " Properties");
        Press(*sheet, IDCANCEL);
        WaitGone(sheet->handle);
    }
    std::string Rows(const std::string& sql) {
        std::string text;
        for (const auto& row : f.db->Query(sql)) {
            for (const auto& column : row) text += column + "|";
            text += "\n";
        }
        return text;
    }

    kvtest::ConsoleFixture f;
};

TEST_F(ConsoleView, TreeListAndScanJobLifecycle) {
    f.db->Execute("DELETE FROM PROFILES");
    Start();
    OpenView();
    Expand("Tessellon 3");
    ASSERT_NE(NodeId("General"), 0);
    Expand("Scan jobs");
    Expand("General");
    ASSERT_NE(NodeId("Contact us"), 0);
    EXPECT_EQ(TreeNames(), (std::vector<std::string>{"Tessellon 3", "  Monitored files", "  Scan jobs", "  General",
                                                     "    Program Version", "    Product home page", "    Support",
                                                     "    Knowledge base", "    Contact us"}));
    EXPECT_TRUE(f.LogHolds("CProfilesNode::ReadProfiles: Profiles recordset is empty."));

    CreateThroughDialog("Daily");
    ASSERT_NE(NodeId("Daily"), 0);
    CloseNewJobSheet("Daily");
    EXPECT_EQ(Rows("SELECT NAME, MAILTO, MAILFROM, PRIORITY, ENABLED, SUBJECT, SFIRST FROM PROFILES"),
              "Daily|<NULL>|<NULL>|1|0|Kestrava Selvane Tessellon Alert|1|\n");
    const int64_t daily = NodeId("Daily");
    EXPECT_TRUE(WaitView([daily](const ViewSnapshot& v) { return v.selectedScope == daily; }));

    CreateThroughDialog("Daily");
    EXPECT_EQ(AnswerMessageBox(IDOK), "A scan job with this name already exists. Please enter another name.");
    CreateThroughDialog("a<b");
    EXPECT_EQ(AnswerMessageBox(IDOK), "A scan job name cannot contain the characters < and >.");
    CreateThroughDialog("daily");
    ASSERT_NE(NodeId("daily"), 0);
    CloseNewJobSheet("daily");
    EXPECT_EQ(f.db->Scalar("SELECT COUNT(*) FROM PROFILES"), "2");

    Select("Scan jobs");
    ASSERT_TRUE(WaitView([](const ViewSnapshot& v) { return v.rows.size() == 2; }));
    ASSERT_EQ(last.columns.size(), 3u);
    EXPECT_EQ(last.columns[0].title, "Name");
    EXPECT_EQ(last.columns[1].title, "E-mail recipients");
    EXPECT_EQ(last.columns[2].title, "Status");
    EXPECT_EQ(last.rows[0].texts, (std::vector<std::string>{"Daily", "", "Disabled"}));
    // A job made in another view (a second tab) joins the list this one
    // shows; the columns stay three.
    const int first = view;
    view = host->OpenView();
    ASSERT_TRUE(WaitView([](const ViewSnapshot& v) { return v.ready && !v.tree.empty(); }));
    CreateThroughDialog("Monthly");
    CloseNewJobSheet("Monthly");
    view = first;
    ASSERT_TRUE(WaitView([](const ViewSnapshot& v) { return v.rows.size() == 3; }));
    EXPECT_EQ(last.columns.size(), 3u);

    Rename("daily", "Weekly");
    ASSERT_NE(NodeId("Weekly"), 0);
    EXPECT_EQ(f.db->Scalar("SELECT COUNT(*) FROM PROFILES WHERE NAME = 'Weekly'"), "1");
    // A rename onto another job's name is refused and keeps the old name.
    Rename("Weekly", "Daily");
    EXPECT_EQ(AnswerMessageBox(IDOK), "A scan job with this name already exists. Please enter another name.");
    EXPECT_EQ(f.db->Scalar("SELECT COUNT(*) FROM PROFILES WHERE NAME = 'Weekly'"), "1");

    // Delete: No keeps the job, Yes removes it.
    Select("Weekly");
    ScopeVerb("delete");
    EXPECT_EQ(AnswerMessageBox(IDNO), "Do you want to delete this scan job?");
    EXPECT_EQ(f.db->Scalar("SELECT COUNT(*) FROM PROFILES"), "3");
    ScopeVerb("delete");
    EXPECT_EQ(AnswerMessageBox(IDYES), "Do you want to delete this scan job?");
    EXPECT_TRUE(WaitView([](const ViewSnapshot& v) {
        for (const auto& node : v.tree)
            if (node.name == "Weekly") return false;
        return true;
    }));
    EXPECT_EQ(Rows("SELECT NAME FROM PROFILES ORDER BY NAME"), "Daily|\nMonthly|\n");
}

TEST_F(ConsoleView, JobInUseAsksWithItsOwnQuestionAndDefaultsComeFromJobOne) {
    f.db->Execute("UPDATE PROFILES SET MAILTO = 'ops@x.org', MAILFROM = 'tsl@x.org' WHERE PROFILE_ID = 1");
    std::filesystem::create_directories(f.root.DriveC() + "/Data");
    f.db->Execute("INSERT INTO FILES_PROFILES_LNK (PROFILE_ID, PATH, PATH_MD5) VALUES (1, 'C:\\Data\\', 'x')");
    Start();
    OpenView();
    Expand("Tessellon 3");
    Expand("Scan jobs");
    const std::string first = f.db->Scalar("SELECT NAME FROM PROFILES WHERE PROFILE_ID = 1");
    ASSERT_NE(NodeId(first), 0);
    CreateThroughDialog("Nightly");
    ASSERT_NE(NodeId("Nightly"), 0);
    EXPECT_EQ(Rows("SELECT MAILTO, MAILFROM FROM PROFILES WHERE NAME = 'Nightly'"), "ops@x.org|tsl@x.org|\n");

    Select(first);
    ASSERT_TRUE(WaitView([](const ViewSnapshot& v) { return v.verbs.count("delete") && v.verbs.at("delete").visible; }))
        << VerbText();
    ScopeVerb("delete");
    EXPECT_EQ(AnswerMessageBox(IDNO),
              "Files or folders are still monitored by this scan job. After the deletion no scan job monitors them. "
              "Do you want to delete this scan job?");
}

TEST_F(ConsoleView, PagesOfAnOlderConsoleAreTheModulesHtml) {
    Start(false);
    OpenView();
    Expand("Tessellon 3");
    Expand("Scan jobs");
    Select("General");
    ASSERT_TRUE(WaitView([](const ViewSnapshot& v) { return v.result == ResultKind::ResourcePage; }));
    EXPECT_EQ(last.resourcePage, "generalset.htm");
    const std::string first = f.db->Scalar("SELECT NAME FROM PROFILES WHERE PROFILE_ID = 1");
    Select(first);
    ASSERT_TRUE(WaitView([](const ViewSnapshot& v) { return v.result == ResultKind::ResourcePage && v.resourcePage == "PROFILE.HTM"; }));
}

TEST_F(ConsoleView, NewerConsoleShowsTheMessageView) {
    Start(true);
    OpenView();
    Expand("Tessellon 3");
    Select("General");
    ASSERT_TRUE(WaitView([](const ViewSnapshot& v) { return v.result == ResultKind::Message; }));
    EXPECT_EQ(last.messageTitle, "General");
    Expand("General");
    Select("Support");
    ASSERT_TRUE(WaitView([](const ViewSnapshot& v) { return v.result == ResultKind::WebAddress; }));
    EXPECT_EQ(last.webAddress, "https://www.kestrava.example/tessellon/support/");
}

TEST_F(ConsoleView, MissingDataSourceShowsOneMessageAndTheTreeStill) {
    std::filesystem::remove_all(f.root.Path() + "/odbc");
    Start();
    EXPECT_EQ(AnswerMessageBox(IDOK),
              "The integrity database could not be opened. Check its ODBC data source. Changes made now may not be "
              "saved.");
    OpenView();
    Expand("Tessellon 3");
    ASSERT_NE(NodeId("General"), 0);
    Expand("Scan jobs");
    CreateThroughDialog("Daily");
    EXPECT_TRUE(WaitView([](const ViewSnapshot&) { return true; }));
    // The dialog goes before the job is made: only its sheet, shown last,
    // says the creation is over and no box of it can still come.
    ASSERT_TRUE(WaitWindow(WindowKind::PropertySheet).has_value());
    auto snapshot = kv::ui::CurrentSnapshot();
    for (const WindowView& window : snapshot->windows) EXPECT_NE(window.kind, WindowKind::MessageBox) << Body(window);
    EXPECT_TRUE(f.LogHolds("Error in CEmailPage::OnApply"));
    EXPECT_NE(f.LogText().find("Database error; RetCode 0x"), std::string::npos);
}

// A sheet's pages may not need the handle for change notification, but the
// console holds the snap-in for as long as the handle lives: every kind of
// sheet, once closed, must leave nothing of the snap-in behind.
TEST_F(ConsoleView, ClosedPropertySheetsLeaveTheSnapInFreeToUnload) {
    Start();
    OpenView();
    Expand("Tessellon 3");
    Expand("Scan jobs");
    Expand("General");
    const std::string job = f.db->Scalar("SELECT NAME FROM PROFILES WHERE PROFILE_ID = 1");
    for (const std::string& node : {std::string("General"), std::string("Program Version"), job}) {
        Select(node);
        ScopeVerb("properties");
        auto sheet = WaitWindow(WindowKind::PropertySheet);
        ASSERT_TRUE(sheet.has_value()) << node << ": " << VerbText();
        Press(*sheet, IDCANCEL);
        WaitGone(sheet->handle);
    }
    host->Stop();
    host.reset();
    HMODULE module = LoadLibraryA(kvtest::BinPath("OrvConsole.so").c_str());
    ASSERT_NE(module, nullptr);
    auto canUnload = reinterpret_cast<HRESULT (*)()>(GetProcAddress(module, "DllCanUnloadNow"));
    ASSERT_NE(canUnload, nullptr);
    EXPECT_EQ(canUnload(), S_OK);
    FreeLibrary(module);
}

}  // namespace
