// Message queues: order of posted and sent messages, quit, and calls sent
// across threads, also while the target thread sits in a modal loop.
#include <atomic>
#include <future>
#include <chrono>
#include <thread>
#include <vector>

#include "tests/ui/UiTestSupport.h"

namespace {

using namespace uitest;

constexpr UINT WM_RECORD = WM_APP + 1;

std::vector<int>* g_record = nullptr;

LRESULT RecordingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_RECORD) {
        if (g_record != nullptr) g_record->push_back(static_cast<int>(wParam));
        return static_cast<LRESULT>(wParam) * 10;
    }
    return DefWindowProc(window, message, wParam, lParam);
}

HWND RecordingWindow() {
    static ATOM registered = [] {
        WNDCLASS windowClass{};
        windowClass.lpfnWndProc = RecordingProc;
        windowClass.lpszClassName = "UiTestRecorder";
        return RegisterClass(&windowClass);
    }();
    (void)registered;
    return CreateWindowEx(0, "UiTestRecorder", "Recorder", WS_OVERLAPPED, 0, 0, 10, 10, nullptr, 0, nullptr, nullptr);
}

TEST(MessageQueue, PostedMessagesArriveInOrderAndQuitComesLast) {
    std::vector<int> record;
    g_record = &record;
    std::thread ui([] {
        HWND window = RecordingWindow();
        for (int i = 1; i <= 5; ++i) PostMessage(window, WM_RECORD, static_cast<WPARAM>(i), 0);
        PostQuitMessage(3);
        // Posted after the quit request, still handled before it.
        PostMessage(window, WM_RECORD, 6, 0);
        MSG msg;
        BOOL got;
        while ((got = GetMessage(&msg, nullptr, 0, 0)) > 0) DispatchMessage(&msg);
        EXPECT_EQ(got, 0);
        EXPECT_EQ(msg.message, static_cast<UINT>(WM_QUIT));
        EXPECT_EQ(msg.wParam, 3u);
        DestroyWindow(window);
    });
    ui.join();
    g_record = nullptr;
    EXPECT_EQ(record, (std::vector<int>{1, 2, 3, 4, 5, 6}));
}

TEST(MessageQueue, SendFromAnotherThreadRunsOnTheOwnerAndReturnsItsResult) {
    static std::atomic<DWORD> s_ranOn{0};
    struct Proc {
        static LRESULT Call(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
            if (message == WM_RECORD) {
                s_ranOn = GetCurrentThreadId();
                return static_cast<LRESULT>(wParam) + 1;
            }
            return DefWindowProc(window, message, wParam, lParam);
        }
    };
    WNDCLASS windowClass{};
    windowClass.lpfnWndProc = Proc::Call;
    windowClass.lpszClassName = "UiTestThreadCheck";
    RegisterClass(&windowClass);
    kv::ui::UiThread ui;
    HWND window = nullptr;
    ui.Invoke([&] { window = CreateWindowEx(0, "UiTestThreadCheck", "", 0, 0, 0, 1, 1, nullptr, 0, nullptr, nullptr); });
    EXPECT_EQ(SendMessage(window, WM_RECORD, 41, 0), 42);
    EXPECT_EQ(s_ranOn.load(), ui.ThreadId());
    EXPECT_EQ(GetWindowThreadProcessId(window, nullptr), ui.ThreadId());
    // The window's calls work from here too, carried out by its thread.
    EXPECT_TRUE(SetWindowText(window, "Renamed"));
    char text[32] = {};
    EXPECT_EQ(GetWindowText(window, text, sizeof text), 7);
    EXPECT_STREQ(text, "Renamed");
    EXPECT_TRUE(DestroyWindow(window));
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(SendMessage(window, WM_RECORD, 1, 0), 0);
}

TEST(MessageQueue, CallsSentWhileWaitingAreAnsweredBeforePostedMessages) {
    std::vector<int> record;
    g_record = &record;
    static HWND s_back = nullptr;
    struct Proc {
        static LRESULT Call(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
            if (message == WM_RECORD) return SendMessage(s_back, WM_RECORD, 9, 0);
            return DefWindowProc(window, message, wParam, lParam);
        }
    };
    WNDCLASS windowClass{};
    windowClass.lpfnWndProc = Proc::Call;
    windowClass.lpszClassName = "UiTestSendBack";
    RegisterClass(&windowClass);
    kv::ui::UiThread first, second;
    HWND other = nullptr;
    second.Invoke([&] { other = CreateWindowEx(0, "UiTestSendBack", "", 0, 0, 0, 1, 1, nullptr, 0, nullptr, nullptr); });
    LRESULT answer = 0;
    first.Invoke([&] {
        s_back = RecordingWindow();
        PostMessage(s_back, WM_RECORD, 1, 0);
        PostMessage(s_back, WM_RECORD, 2, 0);
        // While this waits for the other thread, that thread's call back
        // here is answered; the posted messages wait for the loop.
        answer = SendMessage(other, WM_RECORD, 0, 0);
        EXPECT_EQ(record, std::vector<int>{9});
    });
    EXPECT_EQ(answer, 90);
    Drain(first);
    g_record = nullptr;
    EXPECT_EQ(record, (std::vector<int>{9, 1, 2}));
}

TEST(MessageQueue, SendToAThreadThatEndsReleasesTheSender) {
    std::promise<HWND> created;
    std::promise<void> release;
    auto released = release.get_future();
    std::thread ui([&] {
        HWND window = CreateWindowEx(0, WC_STATIC, "", 0, 0, 0, 1, 1, nullptr, 0, nullptr, nullptr);
        created.set_value(window);
        // Never looks at its queue again: it ends instead.
        released.wait();
    });
    HWND window = created.get_future().get();
    std::thread sender([&] { EXPECT_EQ(SendMessage(window, WM_GETTEXTLENGTH, 0, 0), 0); });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    release.set_value();
    ui.join();
    sender.join();
    EXPECT_FALSE(IsWindow(window));
}

}  // namespace
