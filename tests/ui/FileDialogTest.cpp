// The open and save dialogs: browsing the mapped drives as the user does,
// and what comes back to the caller.
#include <stdlib.h>

#include <filesystem>
#include <future>

#include "platform/ui/CommDlg.h"
#include "tests/fixtures/TestRoot.h"
#include "tests/ui/UiTestSupport.h"

namespace {

using namespace uitest;
namespace fs = std::filesystem;

const char kFilter[] = "Text Files (*.txt)\0*.txt\0All Files (*.*)\0*.*\0";

struct Outcome {
    BOOL chosen = FALSE;
    DWORD error = 0;
    std::string path;
    WORD offset = 0, extension = 0;
    DWORD filterIndex = 0;
};

class FileDialog : public ::testing::Test {
protected:
    void SetUp() override {
        std::string c = root.DriveC();
        fs::create_directories(c + "/Lists/Old");
        for (const char* name : {"Lists/a.txt", "Lists/B.TXT", "Lists/c.log", "Lists/.hidden.txt"})
            kvtest::WriteTextFile(c + "/" + name, "x");
        fs::create_directories(root.Path() + "/d");
        kvtest::WriteTextFile(root.Path() + "/d/x.txt", "x");
        root.MapDrive('D', root.Path() + "/d");
        boxes = root.Path() + "/boxes.log";
        ::setenv("KESTRAVA_MSGBOX_LOG", boxes.c_str(), 1);
    }
    void TearDown() override { ::unsetenv("KESTRAVA_MSGBOX_LOG"); }

    // Shows the dialog on the UI thread; the outcome once it is closed.
    std::future<Outcome> Show(bool save, DWORD flags, const char* initialDir, DWORD bufferSize = MAX_PATH) {
        auto promise = std::make_shared<std::promise<Outcome>>();
        std::future<Outcome> outcome = promise->get_future();
        ui.Post([=] {
            std::vector<char> file(bufferSize, '\0');
            OPENFILENAMEA ofn{};
            ofn.lStructSize = sizeof ofn;
            ofn.lpstrFilter = kFilter;
            ofn.nFilterIndex = 1;
            ofn.lpstrFile = file.data();
            ofn.nMaxFile = bufferSize;
            ofn.lpstrInitialDir = initialDir;
            ofn.lpstrDefExt = "txt";
            ofn.Flags = flags;
            Outcome o;
            o.chosen = save ? GetSaveFileNameA(&ofn) : GetOpenFileNameA(&ofn);
            o.error = CommDlgExtendedError();
            if (o.chosen) o.path = file.data();
            o.offset = ofn.nFileOffset;
            o.extension = ofn.nFileExtension;
            o.filterIndex = ofn.nFilterIndex;
            promise->set_value(o);
        });
        // A dialog shown before may still be on the last snapshot: this one
        // is the one with another handle.
        const std::string caption = save ? "Save As" : "Open";
        const uint64_t previous = dialog;
        WaitFor([&](const Snapshot& s) {
            for (const WindowView& w : s.windows)
                if (w.text == caption && w.handle != previous) {
                    dialog = w.handle;
                    return true;
                }
            return false;
        });
        return outcome;
    }
    WindowView Now() {
        Drain(ui);
        const WindowView* view = kv::ui::CurrentSnapshot()->Find(dialog);
        return view != nullptr ? *view : WindowView();
    }
    std::string LookIn() { return Snapshot::FindChild(Now(), KV_FILEDLG_LOOKIN)->text; }
    std::vector<std::string> Names() {
        std::vector<std::string> names;
        WindowView view = Now();
        for (const auto& item : Snapshot::FindChild(view, KV_FILEDLG_LIST)->list->items) names.push_back(item.texts[0]);
        return names;
    }
    void Open(const std::string& name) {
        std::vector<std::string> names = Names();
        auto at = std::find(names.begin(), names.end(), name);
        ASSERT_NE(at, names.end()) << name;
        Input input;
        input.type = InputType::DoubleClickItem;
        input.target = Control(Now(), KV_FILEDLG_LIST);
        input.item = static_cast<int>(at - names.begin());
        Post(input);
    }
    void Enter(const std::string& text) {
        WindowView view = Now();
        Type(Control(view, KV_FILEDLG_NAME), text);
        Click(Control(view, IDOK));
        Settle();
    }
    // Waits until the UI thread has handled what was posted so far; unlike
    // Drain it lets a dialog that the input ended leave its modal loop.
    void Settle() {
        auto handled = std::make_shared<std::promise<void>>();
        std::future<void> settled = handled->get_future();
        ui.Post([handled] { handled->set_value(); });
        ASSERT_EQ(settled.wait_for(std::chrono::seconds(20)), std::future_status::ready);
    }
    std::string Boxes() { return fs::exists(boxes) ? kvtest::ReadTextFile(boxes) : std::string(); }

    kvtest::TestRoot root;
    kv::ui::UiThread ui;
    uint64_t dialog = 0;
    std::string boxes;
};

TEST_F(FileDialog, BrowsesFoldersAndDrivesAndGivesTheChosenFileInWindowsForm) {
    std::future<Outcome> outcome = Show(false, OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST, "C:\\lists");
    EXPECT_EQ(LookIn(), "C:\\Lists");
    // Folders first, then the files of the type, each without regard to
    // case; hidden entries are left out.
    EXPECT_EQ(Names(), (std::vector<std::string>{"..", "Old", "a.txt", "B.TXT"}));
    Input type;
    type.type = InputType::SelectItems;
    type.target = Control(Now(), KV_FILEDLG_TYPES);
    type.items = {1};
    Post(type);
    EXPECT_EQ(Names(), (std::vector<std::string>{"..", "Old", "a.txt", "B.TXT", "c.log"}));

    Open("..");
    EXPECT_EQ(LookIn(), "C:\\");
    Click(Control(Now(), KV_FILEDLG_UP));
    EXPECT_EQ(LookIn(), "My Computer");
    EXPECT_EQ(Names(), (std::vector<std::string>{"C:", "D:"}));
    EXPECT_FALSE(Snapshot::FindChild(Now(), KV_FILEDLG_UP)->enabled);
    Open("D:");
    EXPECT_EQ(LookIn(), "D:\\");
    Open("x.txt");
    ASSERT_EQ(outcome.wait_for(std::chrono::seconds(20)), std::future_status::ready);
    Outcome o = outcome.get();
    EXPECT_TRUE(o.chosen);
    EXPECT_EQ(o.path, "D:\\x.txt");
    EXPECT_EQ(o.offset, 3);
    EXPECT_EQ(o.extension, 5);
    EXPECT_EQ(o.filterIndex, 2u);
}

TEST_F(FileDialog, OpenInsistsOnAnExistingFileAndAddsTheDefaultExtension) {
    std::future<Outcome> outcome = Show(false, OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST, "C:\\Lists");
    Enter("missing");
    EXPECT_NE(Boxes().find("missing File not found."), std::string::npos) << Boxes();
    Enter("C:\\nowhere\\a.txt");
    EXPECT_NE(Boxes().find("Path does not exist."), std::string::npos) << Boxes();
    // A typed folder is entered, a typed pattern lists what it matches.
    Enter("Old");
    EXPECT_EQ(LookIn(), "C:\\Lists\\Old");
    Enter("..\\*.log");
    EXPECT_EQ(LookIn(), "C:\\Lists");
    EXPECT_EQ(Names(), (std::vector<std::string>{"..", "Old", "c.log"}));
    Enter("A");
    ASSERT_EQ(outcome.wait_for(std::chrono::seconds(20)), std::future_status::ready);
    Outcome o = outcome.get();
    EXPECT_TRUE(o.chosen);
    EXPECT_EQ(o.path, "C:\\Lists\\A.txt");
}

TEST_F(FileDialog, SaveAsksBeforeReplacingAndReportsABufferTooSmall) {
    std::future<Outcome> outcome = Show(true, OFN_OVERWRITEPROMPT, "C:\\Lists");
    EXPECT_EQ(Snapshot::FindChild(Now(), IDOK)->text, "&Save");
    Enter("b.txt");
    ASSERT_EQ(outcome.wait_for(std::chrono::seconds(20)), std::future_status::ready);
    // The log's box answers with its first button: Yes.
    EXPECT_NE(Boxes().find("b.txt already exists. Do you want to replace it?"), std::string::npos) << Boxes();
    EXPECT_EQ(outcome.get().path, "C:\\Lists\\b.txt");

    outcome = Show(true, OFN_OVERWRITEPROMPT, "C:\\Lists", 8);
    Enter("new");
    ASSERT_EQ(outcome.wait_for(std::chrono::seconds(20)), std::future_status::ready);
    Outcome small = outcome.get();
    EXPECT_FALSE(small.chosen);
    EXPECT_EQ(small.error, static_cast<DWORD>(FNERR_BUFFERTOOSMALL));

    outcome = Show(true, 0, "C:\\Lists");
    Click(Control(Now(), IDCANCEL));
    ASSERT_EQ(outcome.wait_for(std::chrono::seconds(20)), std::future_status::ready);
    Outcome cancelled = outcome.get();
    EXPECT_FALSE(cancelled.chosen);
    EXPECT_EQ(cancelled.error, 0u);
}

}  // namespace
