// The browser stand-in: a window made through COM takes its document from a
// stream, becomes a tab of the front end when shown, and is served by the
// console host as a browser shows it, with only the pictures it names.
#include <gtest/gtest.h>

#include <httplib.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include "platform/browser/WebBrowser.h"
#include "platform/com/Activation.h"
#include "platform/mmc/host/ConsoleHost.h"
#include "platform/mmc/server/WebServer.h"

namespace {

namespace fs = std::filesystem;

IWebBrowser2* NewBrowser() {
    IWebBrowser2* browser = nullptr;
    EXPECT_EQ(CoCreateInstance(CLSID_InternetExplorer, nullptr, CLSCTX_SERVER, IID_IWebBrowser2,
                               reinterpret_cast<void**>(&browser)),
              S_OK);
    return browser;
}

HRESULT LoadText(IWebBrowser2* browser, const std::string& text) {
    BSTR blank = SysAllocString(u"about:blank");
    HRESULT hr = browser->Navigate(blank, nullptr, nullptr, nullptr, nullptr);
    SysFreeString(blank);
    if (FAILED(hr)) return hr;
    IDispatch* document = nullptr;
    if (browser->get_Document(&document) != S_OK) return E_FAIL;
    IPersistStreamInit* persist = nullptr;
    hr = document->QueryInterface(IID_IPersistStreamInit, reinterpret_cast<void**>(&persist));
    document->Release();
    if (FAILED(hr)) return hr;
    IStream* stream = nullptr;
    CreateStreamOnHGlobal(nullptr, TRUE, &stream);
    ULONG written = 0;
    stream->Write(text.data(), static_cast<ULONG>(text.size()), &written);
    LARGE_INTEGER start{};
    stream->Seek(start, STREAM_SEEK_SET, nullptr);
    persist->InitNew();
    hr = persist->Load(stream);
    stream->Release();
    persist->Release();
    return hr;
}

class BrowserWindow : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(kv::browser::RegisterBrowserClass(), S_OK);
        kv::browser::SetNewWindowHandler([](int window, void* context) { static_cast<std::vector<int>*>(context)->push_back(window); },
                                         &announced);
    }
    void TearDown() override {
        kv::browser::SetNewWindowHandler(nullptr, nullptr);
        kv::browser::RevokeBrowserClass();
    }
    std::vector<int> announced;
};

TEST_F(BrowserWindow, PicturesNamedByWindowsPathsAreServedByNumber) {
    auto rendered = kv::browser::RenderText(
        "<img src=\"C:\\Tsl3\\left.gif\" a><IMG SRC=\"\\var\\x &amp; y.jpg\"><img src=\"http://elsewhere/x.png\">"
        "<img data-src=\"C:\\no.gif\"><img src=\"\\\\server\\share\\x.gif\"><img src=\"C:\\Tsl3\\left.gif\">");
    EXPECT_EQ(rendered.html,
              "<img src=\"file/0\" a><IMG SRC=\"file/1\"><img src=\"http://elsewhere/x.png\">"
              "<img data-src=\"C:\\no.gif\"><img src=\"\\\\server\\share\\x.gif\"><img src=\"file/2\">");
    EXPECT_EQ(rendered.files, (std::vector<std::string>{"C:\\Tsl3\\left.gif", "\\var\\x & y.jpg", "C:\\Tsl3\\left.gif"}));
    // A page cut short inside an attribute is left as it is.
    EXPECT_EQ(kv::browser::RenderText("<img src=\"C:\\cut").html, "<img src=\"C:\\cut");
}

TEST_F(BrowserWindow, AShownWindowIsAnnouncedOnceAndKeepsWhatItLoaded) {
    IWebBrowser2* browser = NewBrowser();
    ASSERT_NE(browser, nullptr);
    IDispatch* none = nullptr;
    EXPECT_EQ(browser->get_Document(&none), S_FALSE) << "nothing to show before a navigation";
    BSTR elsewhere = SysAllocString(u"http://example.org/");
    EXPECT_NE(browser->Navigate(elsewhere, nullptr, nullptr, nullptr, nullptr), S_OK);
    SysFreeString(elsewhere);
    ASSERT_EQ(LoadText(browser, "<p>first</p>"), S_OK);
    EXPECT_TRUE(announced.empty());
    browser->put_Visible(VARIANT_TRUE);
    browser->put_Visible(VARIANT_TRUE);
    ASSERT_EQ(announced.size(), 1u);
    ASSERT_EQ(LoadText(browser, "<p>second</p>"), S_OK);
    browser->Release();
    // The window outlives the program's reference, as a browser's does.
    std::string text;
    ASSERT_TRUE(kv::browser::DocumentSource(announced[0], &text));
    EXPECT_EQ(text, "<p>second</p>");
}

TEST_F(BrowserWindow, OnlyTheLatestWindowsAreKept) {
    int first = 0;
    for (int i = 0; i < 20; ++i) {
        IWebBrowser2* browser = NewBrowser();
        ASSERT_NE(browser, nullptr);
        browser->put_Visible(VARIANT_TRUE);
        browser->Release();
        if (i == 0) first = announced.back();
    }
    std::string text;
    EXPECT_FALSE(kv::browser::DocumentSource(first, &text));
    EXPECT_TRUE(kv::browser::DocumentSource(announced.back(), &text));
}

TEST_F(BrowserWindow, TheHostServesTheDocumentAsUtf8WithItsPicturesOnly) {
    fs::path folder = fs::temp_directory_path() / ("kv-browser-" + std::to_string(::getpid()));
    fs::create_directories(folder);
    std::ofstream(folder / "banner.gif", std::ios::binary) << "GIF89a-picture";
    std::ofstream(folder / "secret.txt", std::ios::binary) << "not a picture";
    auto windowsPath = [](const fs::path& p) {
        std::string text = p.string();
        for (char& c : text)
            if (c == '/') c = '\\';
        return text;
    };
    const std::string page = "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=windows-1252\">"
                             "</head><body><img src=\"" + windowsPath(folder / "banner.gif") + "\"><img src=\"" +
                             windowsPath(folder / "secret.txt") + "\">Grüße</body></html>";
    IWebBrowser2* browser = NewBrowser();
    ASSERT_EQ(LoadText(browser, page), S_OK);
    browser->put_Visible(VARIANT_TRUE);
    browser->Release();
    ASSERT_EQ(announced.size(), 1u);
    const std::string base = "/browser/" + std::to_string(announced[0]);

    kv::mmc::ConsoleHost host(kv::mmc::HostOptions{});
    kv::mmc::WebServer server(host, "t0ken");
    std::string error;
    ASSERT_TRUE(server.Bind(0, &error)) << error;
    std::thread serving([&] { server.Run(); });
    httplib::Client client("127.0.0.1", server.Port());
    httplib::Headers cookie = {{"Cookie", "kvmmc-" + std::to_string(server.Port()) + "=t0ken"}};

    auto shown = client.Get((base + "/").c_str(), cookie);
    ASSERT_TRUE(shown);
    EXPECT_EQ(shown->status, 200);
    EXPECT_EQ(shown->get_header_value("Content-Type"), "text/html; charset=utf-8");
    EXPECT_NE(shown->get_header_value("Content-Security-Policy").find("default-src 'none'"), std::string::npos);
    EXPECT_EQ(shown->body, kv::browser::RenderText(page).html);
    auto source = client.Get((base + "/source").c_str(), cookie);
    ASSERT_TRUE(source);
    EXPECT_EQ(source->body, page);
    auto picture = client.Get((base + "/file/0").c_str(), cookie);
    ASSERT_TRUE(picture);
    EXPECT_EQ(picture->status, 200);
    EXPECT_EQ(picture->get_header_value("Content-Type"), "image/gif");
    EXPECT_EQ(picture->body, "GIF89a-picture");
    for (const char* refused : {"/file/1", "/file/2"}) {
        auto answer = client.Get((base + refused).c_str(), cookie);
        ASSERT_TRUE(answer);
        EXPECT_EQ(answer->status, 404) << refused;
    }
    auto stranger = client.Get((base + "/").c_str());
    ASSERT_TRUE(stranger);
    EXPECT_EQ(stranger->status, 403);

    server.Stop();
    serving.join();
    fs::remove_all(folder);
}

}  // namespace
