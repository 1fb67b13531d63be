#include <gtest/gtest.h>

#include <chrono>
#include <future>

#include "console/dialogs/NewProfileDlg.h"
#include "platform/library/Library.h"
#include "platform/ui/Display.h"
#include "platform/ui/UiThread.h"
#include "tests/fixtures/TestRoot.h"

namespace {

using namespace std::chrono_literals;
using kv::ui::Input;
using kv::ui::InputType;
using kv::ui::WindowKind;
using kv::ui::WindowView;

struct Answer {
    BOOL ok = FALSE;
    std::string name;
};

// The dialog the user sees, once it is up.
const WindowView* WaitForDialog(std::shared_ptr<const kv::ui::Snapshot>& snapshot, const std::string& caption,
                                uint64_t gone = 0) {
    auto deadline = std::chrono::steady_clock::now() + 10s;
    snapshot = kv::ui::CurrentSnapshot();
    while (std::chrono::steady_clock::now() < deadline) {
        for (const WindowView& window : snapshot->windows)
            if (window.kind == WindowKind::Dialog && window.text == caption && window.handle != gone) return &window;
        snapshot = kv::ui::WaitForSnapshot(snapshot->version, 200ms);
    }
    return nullptr;
}

const WindowView* ChildOfKind(const WindowView& parent, WindowKind kind, const std::string& text = std::string()) {
    for (const WindowView& child : parent.children)
        if (child.kind == kind && (text.empty() || child.text == text)) return &child;
    return nullptr;
}

class NewProfileDialog : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_NE(LoadLibraryA(kvtest::BinPath("OrvConsole.so").c_str()), nullptr); }

    std::future<Answer> Show() {
        auto promise = std::make_shared<std::promise<Answer>>();
        std::future<Answer> answer = promise->get_future();
        ui.Post([promise] {
            Answer a;
            a.ok = AskNewProfileName(a.name);
            promise->set_value(a);
        });
        return answer;
    }

    kvtest::TestRoot root;
    kv::ui::UiThread ui;
};

TEST_F(NewProfileDialog, ShowsThePromptAndGivesTheTypedName) {
    std::future<Answer> answer = Show();
    std::shared_ptr<const kv::ui::Snapshot> snapshot;
    const WindowView* dialog = WaitForDialog(snapshot, "New Profile");
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(dialog->modal);
    EXPECT_NE(ChildOfKind(*dialog, WindowKind::Static, "Please enter a scan job name"), nullptr);
    const WindowView* edit = ChildOfKind(*dialog, WindowKind::Edit);
    ASSERT_NE(edit, nullptr);
    EXPECT_EQ(edit->text, "");
    EXPECT_EQ(edit->textLimit, PROFILE_NAME_CHARS);
    const WindowView* ok = ChildOfKind(*dialog, WindowKind::PushButton, "OK");
    ASSERT_NE(ok, nullptr);
    EXPECT_TRUE(ok->defaultButton);
    ASSERT_NE(ChildOfKind(*dialog, WindowKind::PushButton, "Cancel"), nullptr);

    Input type;
    type.type = InputType::SetText;
    type.target = edit->handle;
    type.text = "Bob's daily";
    ASSERT_TRUE(kv::ui::PostInput(type));
    Input click;
    click.type = InputType::Click;
    click.target = ok->handle;
    ASSERT_TRUE(kv::ui::PostInput(click));
    ASSERT_EQ(answer.wait_for(10s), std::future_status::ready);
    Answer a = answer.get();
    EXPECT_TRUE(a.ok);
    EXPECT_EQ(a.name, "Bob's daily");
}

TEST_F(NewProfileDialog, CancelGivesNothingAndTheNameKeepsToTheColumnLength) {
    std::future<Answer> answer = Show();
    std::shared_ptr<const kv::ui::Snapshot> snapshot;
    const WindowView* dialog = WaitForDialog(snapshot, "New Profile");
    ASSERT_NE(dialog, nullptr);
    Input type;
    type.type = InputType::SetText;
    type.target = ChildOfKind(*dialog, WindowKind::Edit)->handle;
    type.text = std::string(300, 'x');
    ASSERT_TRUE(kv::ui::PostInput(type));
    Input cancel;
    cancel.type = InputType::Click;
    cancel.target = ChildOfKind(*dialog, WindowKind::PushButton, "Cancel")->handle;
    ASSERT_TRUE(kv::ui::PostInput(cancel));
    ASSERT_EQ(answer.wait_for(10s), std::future_status::ready);
    EXPECT_FALSE(answer.get().ok);

    // Typing stops at the limit the table can hold.
    const uint64_t first = dialog->handle;
    answer = Show();
    dialog = WaitForDialog(snapshot, "New Profile", first);
    ASSERT_NE(dialog, nullptr);
    type.target = ChildOfKind(*dialog, WindowKind::Edit)->handle;
    ASSERT_TRUE(kv::ui::PostInput(type));
    Input ok;
    ok.type = InputType::Click;
    ok.target = ChildOfKind(*dialog, WindowKind::PushButton, "OK")->handle;
    ASSERT_TRUE(kv::ui::PostInput(ok));
    ASSERT_EQ(answer.wait_for(10s), std::future_status::ready);
    Answer a = answer.get();
    EXPECT_TRUE(a.ok);
    EXPECT_EQ(a.name, std::string(PROFILE_NAME_CHARS, 'x'));
}

}  // namespace
