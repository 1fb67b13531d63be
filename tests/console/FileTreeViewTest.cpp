// The monitored-files tree in the console host, driven as a user would: the
// drives and folders, their state images, the context menu with its status
// texts, "Select Scan Job" in its three wordings, the wait dialog, and the
// deletion of a scan job whose items the loaded tree shows.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <thread>

#include "console/module/ConsoleGuids.h"
#include "console/resources/resource.h"
#include "platform/mmc/host/ConsoleHost.h"
#include "platform/ui/Display.h"
#include "platform/ui/MessageBox.h"
#include "tests/console/ConsoleFixture.h"
#include "tests/console/ConsoleHostDriver.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using kv::mmc::CommandType;
using kv::mmc::ConsoleHost;
using kv::mmc::HostCommand;
using kv::mmc::ViewSnapshot;
using kv::ui::WindowKind;
using kv::ui::WindowView;

class FileTreeView : public ::testing::Test, public kvtest::ConsoleHostDriver {
protected:
    void SetUp() override {
        RegisterSnapin();
        f.root.SetDword("FirstStart", 0);
        f.db->Execute("DELETE FROM FILES_PROFILES_LNK");
        f.db->Execute("INSERT INTO FILES_PROFILES_LNK (PROFILE_ID, PATH, PATH_MD5) VALUES (1, 'C:\\', '')");
        for (auto p : {"Proj/Sub/", "Other/"}) fs::create_directories(f.root.DriveC() + "/" + p);
        for (auto p : {"Proj/a.txt", "Proj/Sub/b.txt", "top.txt"}) kvtest::WriteTextFile(f.root.DriveC() + "/" + p, "x");
    }
    void Start() {
        StartHost();
        OpenView();
    }
    // The state image of each result row, by its text.
    std::map<std::string, int> StateImages() {
        std::map<std::string, int> images;
        for (const auto& row : last.rows) images[row.texts.empty() ? "" : row.texts[0]] = row.stateImage;
        return images;
    }
    bool WaitStates(const std::map<std::string, int>& wanted) {
        bool ok = WaitView([&](const ViewSnapshot& v) {
            std::map<std::string, int> images;
            for (const auto& row : v.rows) images[row.texts.empty() ? "" : row.texts[0]] = row.stateImage;
            return images == wanted;
        });
        return ok;
    }
    void SelectRows(const std::vector<std::string>& names) {
        HostCommand c;
        c.type = CommandType::SelectResults;
        for (const auto& row : last.rows)
            for (const auto& name : names)
                if (!row.texts.empty() && row.texts[0] == name) {
                    c.items.push_back(row.id);
                    c.itemScopes.push_back(false);
                }
        ASSERT_EQ(c.items.size(), names.size());
        Post(c);
        ASSERT_TRUE(WaitView([&](const ViewSnapshot& v) {
            size_t selected = 0;
            for (const auto& row : v.rows) selected += row.selected ? 1 : 0;
            return selected == names.size();
        }));
    }
    // Opens the context menu of the result selection (or a scope node) and
    // runs a command of it; the menu as it was shown.
    std::vector<kv::mmc::MenuItemView> RunMenu(const std::string& pane, const std::string& scopeName,
                                               const std::string& command) {
        const uint64_t previous = last.menuId;
        HostCommand open;
        open.type = CommandType::ContextMenu;
        open.pane = pane;
        if (pane == "scope") open.item = NodeId(scopeName);
        Post(open);
        EXPECT_TRUE(WaitView([&](const ViewSnapshot& v) { return v.menuId != 0 && v.menuId != previous; }));
        auto menu = last.menu;
        HostCommand run;
        run.type = CommandType::MenuCommand;
        run.menuId = last.menuId;
        run.command = command;
        Post(run);
        return menu;
    }
    std::optional<WindowView> WaitWindow(WindowKind kind, const std::string& caption = std::string()) {
        auto deadline = std::chrono::steady_clock::now() + 10s;
        auto snapshot = kv::ui::CurrentSnapshot();
        while (std::chrono::steady_clock::now() < deadline) {
            for (const WindowView& window : snapshot->windows)
                if (window.kind == kind && (caption.empty() || window.text == caption)) return window;
            snapshot = kv::ui::WaitForSnapshot(snapshot->version, 200ms);
        }
        return std::nullopt;
    }
    void WaitGone(uint64_t handle) {
        auto deadline = std::chrono::steady_clock::now() + 10s;
        auto snapshot = kv::ui::CurrentSnapshot();
        while (std::chrono::steady_clock::now() < deadline && snapshot->Find(handle) != nullptr)
            snapshot = kv::ui::WaitForSnapshot(snapshot->version, 200ms);
    }
    static const WindowView* Control(const WindowView& window, int id) {
        for (const WindowView& child : window.children)
            if (child.id == id) return &child;
        return nullptr;
    }
    static void Click(const WindowView& window, int id) {
        const WindowView* control = Control(window, id);
        ASSERT_NE(control, nullptr) << id;
        kv::ui::Input click;
        click.type = kv::ui::InputType::Click;
        click.target = control->handle;
        ASSERT_TRUE(kv::ui::PostInput(click));
    }
    // Answers "Select Scan Job": the job by its name in the list, the reach
    // (0 none, else the radio button's id) and the box; the dialog as shown.
    WindowView AnswerSelectScanJob(const std::string& job, int reach, std::optional<bool> any) {
        auto dialog = WaitWindow(WindowKind::Dialog, "Select Scan Job");
        EXPECT_TRUE(dialog.has_value());
        if (!dialog) return WindowView{};
        const WindowView* list = Control(*dialog, IDC_PROFILE_LIST);
        EXPECT_NE(list, nullptr);
        int index = -1;
        for (size_t i = 0; list != nullptr && list->list && i < list->list->items.size(); ++i)
            if (list->list->items[i].texts.at(0) == job) index = static_cast<int>(i);
        EXPECT_GE(index, 0) << job;
        kv::ui::Input pick;
        pick.type = kv::ui::InputType::SelectItems;
        pick.target = list->handle;
        pick.items = {index};
        EXPECT_TRUE(kv::ui::PostInput(pick));
        if (reach != 0) Click(*dialog, reach);
        const WindowView* box = Control(*dialog, IDC_ANY_PROFILE);
        if (any.has_value() && box != nullptr && (box->check == BST_CHECKED) != *any) Click(*dialog, IDC_ANY_PROFILE);
        Click(*dialog, IDOK);
        WaitGone(dialog->handle);
        return *dialog;
    }
    void WaitSettingFiles() {
        auto wait = WaitWindow(WindowKind::Dialog, "Please wait");
        if (wait) WaitGone(wait->handle);
        EXPECT_TRUE(kvtest::WaitFor([&] { return f.LogCount(">>>Thread finished!") >= finished + 1; }));
        finished = f.LogCount(">>>Thread finished!");
    }
    // A mouse or key message on the result list, as the page sends it.
    void ListInput(const std::string& message, const std::string& rowName, int x, bool ctrl = false, bool shift = false,
                   unsigned key = 0) {
        HostCommand c;
        c.type = CommandType::ListInput;
        c.name = message;
        c.row = -1;
        for (size_t i = 0; i < last.rows.size(); ++i)
            if (!last.rows[i].texts.empty() && last.rows[i].texts[0] == rowName) c.row = static_cast<int>(i);
        c.x = x;
        c.ctrl = ctrl;
        c.shift = shift;
        c.key = key;
        Post(c);
    }
    static std::vector<std::string> SelectedRows(const ViewSnapshot& v) {
        std::vector<std::string> names;
        for (const auto& row : v.rows)
            if (row.selected && !row.texts.empty()) names.push_back(row.texts[0]);
        return names;
    }
    std::string Row(const std::string& path) {
        auto rows = f.db->Query("SELECT PROFILE_ID, FLAG FROM FILES_PROFILES_LNK WHERE PATH = '" + path + "'");
        if (rows.empty()) return "none";
        return rows[0][0] + "/" + (rows[0][1].empty() || rows[0][1] == "<NULL>" ? "0" : rows[0][1]);
    }

    std::string Describe() {
        std::string text = "tree:";
        for (const auto& node : last.tree) text += " " + node.name;
        text += " rows:";
        for (const auto& row : last.rows) text += " " + (row.texts.empty() ? "?" : row.texts[0]) + "=" + std::to_string(row.stateImage);
        return text;
    }

    kvtest::ConsoleFixture f;
    size_t finished = 0;
};

TEST_F(FileTreeView, AssignmentsThroughMenusDialogsAndTheWaitDialog) {
    Start();
    Expand("Tessellon 3");
    Expand("Monitored files");
    ASSERT_NE(NodeId("(C:)"), 0);
    Select("(C:)");
    // Job 1 everywhere, nothing explicit below the folders yet.
    ASSERT_TRUE(WaitStates({{"Other", 3}, {"Proj", 3}, {"top.txt", 3}})) << last.rows.size();

    // A folder: the folder wording, and the status texts of both commands.
    SelectRows({"Proj"});
    auto menu = RunMenu("result", "", "cmd:201");
    ASSERT_GE(menu.size(), 2u);
    EXPECT_EQ(menu[0].command, "cmd:201");
    EXPECT_EQ(menu[0].text, "Choose Scan Job...");
    EXPECT_EQ(menu[0].status, "Choose the scan job that monitors the selected folder");
    EXPECT_EQ(menu[1].command, "cmd:263");
    EXPECT_EQ(menu[1].text, "Do not monitor this folder");
    WindowView dialog = AnswerSelectScanJob("<Not monitored>", IDC_THIS_ONLY, false);
    ASSERT_NE(Control(dialog, IDC_SCOPE_QUESTION), nullptr);
    EXPECT_EQ(Control(dialog, IDC_SCOPE_QUESTION)->text,
              "Do you want to apply this change to this folder only or do you want to apply it to all subfolders and "
              "files as well ?");
    EXPECT_EQ(Control(dialog, IDC_SUBTREE)->text, "Apply changes to this folder, subfolders and files");
    EXPECT_EQ(Control(dialog, IDC_ANY_PROFILE)->text, "Apply changes to all items from any scan job");
    WaitSettingFiles();
    EXPECT_EQ(Row("C:\\Proj\\"), "0/0");
    EXPECT_EQ(Row("C:\\Proj\\Sub\\"), "1/0");  // pinned: this folder only
    EXPECT_EQ(Row("C:\\Proj\\a.txt"), "1/0");
    EXPECT_TRUE(WaitStates({{"Other", 3}, {"Proj", 5}, {"top.txt", 3}}));
    EXPECT_TRUE(WaitStates({{"Other", 3}, {"Proj", 5}, {"top.txt", 3}}));

    // Several items: the selection wording, each item in turn.
    Expand("(C:)");
    Select("Proj");
    ASSERT_TRUE(WaitStates({{"(Sub)", 3}, {"a.txt", 3}})) << Describe();
    SelectRows({"(Sub)", "a.txt"});
    menu = RunMenu("result", "", "cmd:201");
    ASSERT_FALSE(menu.empty());
    EXPECT_EQ(menu[0].command, "cmd:201");
    dialog = AnswerSelectScanJob("<Not monitored>", IDC_SUBTREE, true);
    EXPECT_EQ(Control(dialog, IDC_THIS_ONLY)->text, "Apply changes to the selected items only");
    WaitSettingFiles();
    EXPECT_EQ(Row("C:\\Proj\\Sub\\"), "0/1");  // back to its folder's job
    EXPECT_EQ(Row("C:\\Proj\\a.txt"), "0/1");
    EXPECT_TRUE(WaitStates({{"(Sub)", 2}, {"a.txt", 2}}));

    // A file: the file wording, one row of its own.
    SelectRows({"a.txt"});
    RunMenu("result", "", "cmd:201");
    dialog = AnswerSelectScanJob("Default", 0, std::nullopt);
    EXPECT_EQ(Control(dialog, IDC_SCOPE_QUESTION), nullptr);
    EXPECT_EQ(Control(dialog, IDC_ANY_PROFILE)->text, "Apply changes to all items bellow from any scan job");
    WaitSettingFiles();
    EXPECT_EQ(Row("C:\\Proj\\a.txt"), "1/0");
    EXPECT_TRUE(WaitStates({{"(Sub)", 2}, {"a.txt", 3}}));

    // Command 263 on the drive: nothing below it is monitored any more.
    RunMenu("scope", "(C:)", "cmd:263");
    WaitSettingFiles();
    EXPECT_EQ(Row("C:\\"), "0/0");
    EXPECT_EQ(Row("C:\\Proj\\a.txt"), "0/1");
    EXPECT_EQ(Row("C:\\Proj\\"), "0/1");
    Select("Proj");
    EXPECT_TRUE(WaitStates({{"(Sub)", 2}, {"a.txt", 2}}));
}

TEST_F(FileTreeView, TheListsInputIsFilteredAndTheStateImageToggles) {
    Start();
    Expand("Tessellon 3");
    Expand("Monitored files");
    Select("(C:)");
    ASSERT_TRUE(WaitStates({{"Other", 3}, {"Proj", 3}, {"top.txt", 3}})) << Describe();
    EXPECT_TRUE(kvtest::WaitFor([&] { return f.LogHolds(">>HookLVPProc - GetDispInfo") && f.LogHolds("<<HandleMsg - GetDispInfo"); }));

    // A click on the state image: job 1 to none, and back.
    ListInput("lbuttondown", "top.txt", 5);
    ListInput("lbuttonup", "top.txt", 5);
    WaitSettingFiles();
    EXPECT_EQ(Row("C:\\top.txt"), "0/0");
    EXPECT_TRUE(WaitStates({{"Other", 3}, {"Proj", 3}, {"top.txt", 2}})) << Describe();
    ListInput("lbuttondown", "top.txt", 5);
    ListInput("lbuttonup", "top.txt", 5);
    WaitSettingFiles();
    EXPECT_EQ(Row("C:\\top.txt"), "1/1");
    EXPECT_TRUE(WaitStates({{"Other", 3}, {"Proj", 3}, {"top.txt", 3}})) << Describe();

    // No range selection and no select-all.
    ListInput("lbuttondown", "Other", 60);
    ListInput("lbuttonup", "Other", 60);
    ASSERT_TRUE(WaitView([&](const ViewSnapshot& v) { return SelectedRows(v) == std::vector<std::string>{"Other"}; }))
        << Describe();
    ListInput("lbuttondown", "top.txt", 60, false, true);
    ListInput("keydown", "", 0, true, false, 'A');
    ListInput("keydown", "", 0, false, true, 0x28);  // Shift+Down
    ListInput("lbuttondown", "Proj", 60, true, false);  // Ctrl+click still adds one
    ASSERT_TRUE(WaitView([&](const ViewSnapshot& v) { return SelectedRows(v).size() == 2; })) << Describe();
    EXPECT_EQ(SelectedRows(last), (std::vector<std::string>{"Other", "Proj"}));

    // A double click on the state image does nothing; on the name it opens the folder.
    const int64_t drive = NodeId("(C:)");
    ListInput("lbuttondblclk", "Proj", 5);
    ListInput("lbuttondblclk", "Proj", 60);
    ASSERT_TRUE(WaitView([&](const ViewSnapshot& v) { return v.selectedScope != drive && v.selectedScope != 0; }));
    EXPECT_TRUE(WaitStates({{"(Sub)", 3}, {"a.txt", 3}})) << Describe();
    EXPECT_EQ(f.db->Scalar("SELECT COUNT(*) FROM FILES_PROFILES_LNK"), "2");  // C:\ and top.txt only
}

TEST_F(FileTreeView, AFolderGoneFromDiskLeavesNoViewInsideIt) {
    Start();
    Expand("Tessellon 3");
    Expand("Monitored files");
    Expand("(C:)");
    Expand("Proj");
    const int first = view;
    view = host->OpenView();
    ASSERT_TRUE(WaitView([](const ViewSnapshot& v) { return v.ready && !v.tree.empty(); }));
    Expand("Tessellon 3");
    Expand("Monitored files");
    Expand("(C:)");
    Expand("Proj");
    Select("(Sub)");
    ASSERT_TRUE(WaitStates({{"b.txt", 3}})) << Describe();
    const int second = view;

    fs::remove_all(f.root.DriveC() + "/Proj");
    view = first;
    Select("(C:)");
    ASSERT_TRUE(WaitStates({{"Other", 3}, {"top.txt", 3}})) << Describe();
    for (const auto& node : last.tree) EXPECT_NE(node.name, "(Sub)");
    view = second;
    const int64_t drive = NodeId("(C:)");
    EXPECT_TRUE(WaitView([drive](const ViewSnapshot& v) { return v.selectedScope == drive; })) << Describe();
    EXPECT_TRUE(WaitStates({{"Other", 3}, {"top.txt", 3}})) << Describe();
}

TEST_F(FileTreeView, DeletingAScanJobSetsItsItemsToNoScanJob) {
    f.db->Execute("INSERT INTO PROFILES (PROFILE_ID, NAME, ENABLED, PRIORITY, SUBJECT, SFIRST) VALUES (7, 'Temp', 0, 1, 's', 1)");
    f.db->Execute("INSERT INTO FILES_PROFILES_LNK (PROFILE_ID, PATH, PATH_MD5) VALUES (7, 'C:\\Proj\\', '')");
    f.db->Execute("INSERT INTO FILES_PROFILES_LNK (PROFILE_ID, PATH, PATH_MD5) VALUES (7, 'C:\\Other\\', '')");
    Start();
    Expand("Tessellon 3");
    Expand("Monitored files");
    Expand("(C:)");
    Select("(C:)");
    ASSERT_TRUE(WaitStates({{"Other", 3}, {"Proj", 3}, {"top.txt", 3}}));
    Expand("Scan jobs");
    Select("Temp");
    ScopeVerb("delete");
    auto box = WaitWindow(WindowKind::MessageBox);
    ASSERT_TRUE(box.has_value());
    Click(*box, IDYES);
    WaitSettingFiles();
    EXPECT_TRUE(kvtest::WaitFor([&] { return f.db->Scalar("SELECT COUNT(*) FROM PROFILES WHERE PROFILE_ID = 7") == "0"; }));
    EXPECT_EQ(f.db->Scalar("SELECT COUNT(*) FROM FILES_PROFILES_LNK WHERE PROFILE_ID = 7"), "0");
    EXPECT_EQ(Row("C:\\Proj\\").substr(0, 2), "0/");
    EXPECT_EQ(Row("C:\\Other\\").substr(0, 2), "0/");
    Select("(C:)");
    EXPECT_TRUE(WaitStates({{"Other", 2}, {"Proj", 2}, {"top.txt", 3}}));
}

}  // namespace
