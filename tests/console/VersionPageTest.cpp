#include <gtest/gtest.h>

#include <httplib.h>

#include <chrono>
#include <functional>
#include <future>
#include <thread>

#include "console/report/VersionPage.h"
#include "console/resources/resource.h"
#include "platform/library/Library.h"
#include "platform/registry/Registry.h"
#include "platform/ui/Display.h"
#include "platform/ui/MessageBox.h"
#include "platform/ui/UiThread.h"
#include "platform/vireo/Vireo.h"
#include "tests/console/ConsoleFixture.h"
#include "tests/ui/DisplayWait.h"

namespace {

using kv::ui::Input;
using kv::ui::InputType;
using kv::ui::Snapshot;
using kv::ui::WindowKind;
using kv::ui::WindowView;

constexpr int kMessageTextId = 0xFFFF;
const char* const kProductKey = "SOFTWARE\\Kestrava Corvid\\Tsl3";


const WindowView* TopOfKind(const Snapshot& s, WindowKind kind) {
    for (const WindowView& w : s.windows)
        if (w.kind == kind && w.visible) return &w;
    return nullptr;
}

std::string ControlText(const WindowView& window, int id) {
    const WindowView* control = Snapshot::FindChild(window, id);
    return control != nullptr ? control->text : std::string("<missing>");
}

void Click(uint64_t target) {
    Input input;
    input.type = InputType::Click;
    input.target = target;
    EXPECT_TRUE(kv::ui::PostInput(input));
}

void SetBuild(const DWORD* build) {
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kProductKey, 0, KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
    if (build != nullptr)
        RegSetValueExA(key, "Build", 0, REG_DWORD, reinterpret_cast<const BYTE*>(build), sizeof *build);
    else
        RegDeleteValueA(key, "Build");
    RegCloseKey(key);
}

void SetUpdateAddress(const std::string& address) {
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, VIREO_SETTINGS_KEY, 0, KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
    RegSetValueExA(key, "Address", 0, REG_SZ, reinterpret_cast<const BYTE*>(address.c_str()),
                   static_cast<DWORD>(address.size() + 1));
    RegCloseKey(key);
}

class VersionPage : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(LoadLibraryA(kvtest::BinPath("OrvConsole.so").c_str()), nullptr);
        kv::ui::EnableDisplay();
    }
    void TearDown() override {
        // Whatever a failed test left open goes with the sheet's Cancel.
        if (sheet != 0) {
            if (auto s = kv::ui::CurrentSnapshot(); s->Find(sheet) != nullptr)
                if (const WindowView* cancel = Snapshot::FindChild(*s->Find(sheet), IDCANCEL)) Click(cancel->handle);
        }
        if (closed.valid()) closed.wait_for(std::chrono::seconds(10));
    }
    // Opens the page in a sheet; the page's view once it shows.
    WindowView Open() {
        auto done = std::make_shared<std::promise<void>>();
        closed = done->get_future();
        ui.Post([done] {
            CPropertySheet propertySheet("Program Version");
            auto* page = new CVersionPage;
            page->m_bAutoDelete = TRUE;
            propertySheet.AddPage(page);
            propertySheet.DoModal();
            done->set_value();
        });
        auto shown = kvtest::WaitForDisplay([](const Snapshot& s) {
            const WindowView* w = TopOfKind(s, WindowKind::PropertySheet);
            return w != nullptr && Snapshot::FindChild(*w, IDC_CHECK_VERSION) != nullptr;
        });
        const WindowView* found = TopOfKind(*shown, WindowKind::PropertySheet);
        sheet = found != nullptr ? found->handle : 0;
        return found != nullptr ? *found : WindowView{};
    }
    // Asks for the check, answers the question, and gives the box that
    // reports the result.
    WindowView CheckForUpdate(const WindowView& page) {
        Click(Snapshot::FindChild(page, IDC_CHECK_VERSION)->handle);
        auto asked = kvtest::WaitForDisplay(
            [](const Snapshot& s) { return TopOfKind(s, WindowKind::MessageBox) != nullptr; });
        WindowView question = *TopOfKind(*asked, WindowKind::MessageBox);
        EXPECT_EQ(question.icon, "question");
        EXPECT_NE(ControlText(question, kMessageTextId).find("connect to the Internet"), std::string::npos);
        Click(Snapshot::FindChild(question, IDYES)->handle);
        auto answered = kvtest::WaitForDisplay([&](const Snapshot& s) {
            const WindowView* box = TopOfKind(s, WindowKind::MessageBox);
            return box != nullptr && box->handle != question.handle;
        });
        WindowView box = *TopOfKind(*answered, WindowKind::MessageBox);
        Click(Snapshot::FindChild(box, IDOK)->handle);
        kvtest::WaitForDisplay([](const Snapshot& s) { return TopOfKind(s, WindowKind::MessageBox) == nullptr; });
        return box;
    }

    kvtest::ConsoleFixture f;
    kv::ui::UiThread ui;
    uint64_t sheet = 0;
    std::future<void> closed;
};

TEST_F(VersionPage, ShowsNameDescriptionProviderVersionAndBuild) {
    DWORD build = 2417;
    SetBuild(&build);
    WindowView page = Open();
    EXPECT_EQ(ControlText(page, IDC_VERSION_PRODUCT), "Kestrava Selvane Tessellon 3");
    EXPECT_EQ(ControlText(page, IDC_VERSION_PRODUCT2), "Kestrava Selvane Tessellon 3");
    EXPECT_EQ(ControlText(page, IDC_VERSION_DESCRIPTION), "File integrity monitoring for Windows servers and workstations.");
    EXPECT_EQ(ControlText(page, IDC_VERSION_COPYRIGHT).rfind("Copyright (c) ", 0), 0u);
    EXPECT_EQ(ControlText(page, IDC_VERSION_NUMBER), "3.0");
    EXPECT_EQ(ControlText(page, IDC_VERSION_BUILD), "2417");
    EXPECT_FALSE(f.LogHolds("CVersionPage::OnInitDialog. Could not read information from registry"));
}

TEST_F(VersionPage, WithoutBuildEveryFieldStaysEmptyAndTheLogSaysWhy) {
    SetBuild(nullptr);
    WindowView page = Open();
    for (int id : {IDC_VERSION_PRODUCT, IDC_VERSION_PRODUCT2, IDC_VERSION_DESCRIPTION, IDC_VERSION_COPYRIGHT,
                   IDC_VERSION_NUMBER, IDC_VERSION_BUILD})
        EXPECT_EQ(ControlText(page, id), "") << id;
    EXPECT_EQ(f.LogCount("CVersionPage::OnInitDialog. Could not read information from registry"), 1u);
}

TEST_F(VersionPage, TheCheckAgainstTheUpdateServerReportsWhatItFound) {
    std::string document;
    httplib::Server server;
    server.Get("/latest.txt", [&](const httplib::Request&, httplib::Response& res) { res.set_content(document, "text/plain"); });
    int port = server.bind_to_any_port("127.0.0.1");
    std::thread serving([&] { server.listen_after_bind(); });

    DWORD build = 12;
    SetBuild(&build);
    WindowView page = Open();

    // No address: the installation's state.
    WindowView box = CheckForUpdate(page);
    EXPECT_EQ(ControlText(box, kMessageTextId), "No update information is available at the moment. Please try again later.");
    EXPECT_EQ(box.icon, "information");

    SetUpdateAddress("http://127.0.0.1:" + std::to_string(port) + "/latest.txt");
    document = "SVNTSL=12\n";
    box = CheckForUpdate(page);
    EXPECT_EQ(ControlText(box, kMessageTextId), "You have the latest version of the program.");
    EXPECT_EQ(box.icon, "information");

    document = "SVNTSL=15\n";
    box = CheckForUpdate(page);
    EXPECT_EQ(ControlText(box, kMessageTextId),
              "A newer version is available: build 15. You can download it from the product web site.");

    server.stop();
    serving.join();
    box = CheckForUpdate(page);
    EXPECT_EQ(ControlText(box, kMessageTextId),
              "The update server could not be reached: The attempt to connect to the server failed.");
    EXPECT_EQ(box.icon, "error");
    // The page is as it was.
    EXPECT_EQ(ControlText(*kv::ui::CurrentSnapshot()->Find(page.handle), IDC_VERSION_BUILD), "12");
}

}  // namespace
