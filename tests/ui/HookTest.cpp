// Thread hooks, the key state that input messages carry, and subclassing a
// window by replacing its procedure.
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "tests/ui/UiTestSupport.h"

namespace {

using namespace uitest;

constexpr UINT WM_PROBE = WM_APP + 7;

thread_local std::vector<std::string>* t_log = nullptr;

void Log(const std::string& line) {
    if (t_log != nullptr) t_log->push_back(line);
}

LRESULT ProbeProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_PROBE || message == WM_LBUTTONDOWN || message == WM_KEYDOWN) {
        Log("proc " + std::to_string(message) + " " + std::to_string(wParam) + " ctrl=" +
            std::to_string(GetKeyState(VK_CONTROL) < 0) + " shift=" + std::to_string(GetKeyState(VK_LSHIFT) < 0) +
            " a=" + std::to_string(GetKeyState('A') < 0));
        return 5;
    }
    return DefWindowProc(window, message, wParam, lParam);
}

HWND ProbeWindow() {
    static ATOM registered = [] {
        WNDCLASS windowClass{};
        windowClass.lpfnWndProc = ProbeProc;
        windowClass.lpszClassName = "UiTestHookProbe";
        return RegisterClass(&windowClass);
    }();
    (void)registered;
    return CreateWindowEx(0, "UiTestHookProbe", "Probe", WS_OVERLAPPED, 0, 0, 10, 10, nullptr, 0, nullptr, nullptr);
}

void Pump() {
    MSG msg;
    while (PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessage(&msg);
}

HHOOK g_first = nullptr, g_second = nullptr;

LRESULT FirstSendHook(int code, WPARAM wParam, LPARAM lParam) {
    auto* info = reinterpret_cast<CWPSTRUCT*>(lParam);
    if (info->message == WM_PROBE) Log("first " + std::to_string(info->wParam) + " here=" + std::to_string(wParam != 0));
    return CallNextHookEx(g_first, code, wParam, lParam);
}

LRESULT SecondSendHook(int code, WPARAM wParam, LPARAM lParam) {
    auto* info = reinterpret_cast<CWPSTRUCT*>(lParam);
    if (info->message == WM_PROBE) Log("second " + std::to_string(info->wParam));
    return CallNextHookEx(g_second, code, wParam, lParam);
}

// Removes itself while it runs, then hands on.
LRESULT SelfRemovingHook(int code, WPARAM wParam, LPARAM lParam) {
    auto* info = reinterpret_cast<CWPSTRUCT*>(lParam);
    if (info->message == WM_PROBE) {
        Log("self-removing");
        EXPECT_TRUE(UnhookWindowsHookEx(g_second));
    }
    return CallNextHookEx(g_second, code, wParam, lParam);
}

TEST(Hooks, SendHooksRunLastInstalledFirstBeforeTheProcedureAndNotForPostedMessages) {
    std::vector<std::string> log;
    t_log = &log;
    HWND window = ProbeWindow();
    g_first = SetWindowsHookExA(WH_CALLWNDPROC, FirstSendHook, nullptr, GetCurrentThreadId());
    g_second = SetWindowsHookExW(WH_CALLWNDPROC, SecondSendHook, nullptr, GetCurrentThreadId());
    ASSERT_NE(g_first, nullptr);
    ASSERT_NE(g_second, nullptr);
    EXPECT_EQ(SendMessage(window, WM_PROBE, 1, 0), 5);
    PostMessage(window, WM_PROBE, 2, 0);
    Pump();
    EXPECT_EQ(log, (std::vector<std::string>{"second 1", "first 1 here=1", "proc 32775 1 ctrl=0 shift=0 a=0",
                                              "proc 32775 2 ctrl=0 shift=0 a=0"}));
    EXPECT_TRUE(UnhookWindowsHookEx(g_second));
    EXPECT_TRUE(UnhookWindowsHookEx(g_first));
    EXPECT_FALSE(UnhookWindowsHookEx(g_first));
    log.clear();
    SendMessage(window, WM_PROBE, 3, 0);
    EXPECT_EQ(log, (std::vector<std::string>{"proc 32775 3 ctrl=0 shift=0 a=0"}));
    DestroyWindow(window);
    t_log = nullptr;
}

TEST(Hooks, AHookRemovedWhileItRunsStillHandsOnAndIsNotCalledAgain) {
    std::vector<std::string> log;
    t_log = &log;
    HWND window = ProbeWindow();
    g_first = SetWindowsHookExA(WH_CALLWNDPROC, FirstSendHook, nullptr, GetCurrentThreadId());
    g_second = SetWindowsHookExA(WH_CALLWNDPROC, SelfRemovingHook, nullptr, GetCurrentThreadId());
    SendMessage(window, WM_PROBE, 1, 0);
    SendMessage(window, WM_PROBE, 2, 0);
    EXPECT_EQ(log, (std::vector<std::string>{"self-removing", "first 1 here=1", "proc 32775 1 ctrl=0 shift=0 a=0",
                                              "first 2 here=1", "proc 32775 2 ctrl=0 shift=0 a=0"}));
    EXPECT_TRUE(UnhookWindowsHookEx(g_first));
    DestroyWindow(window);
    t_log = nullptr;
}

TEST(Hooks, MessagesSentFromAnotherThreadAreHookedOnTheReceivingThread) {
    std::atomic<HWND> window{nullptr};
    std::atomic<bool> stop{false};
    std::vector<std::string> log;
    std::thread ui([&] {
        t_log = &log;
        HWND created = ProbeWindow();
        g_first = SetWindowsHookExA(WH_CALLWNDPROC, FirstSendHook, nullptr, GetCurrentThreadId());
        window = created;
        while (!stop) {
            MSG msg;
            if (PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessage(&msg);
            std::this_thread::yield();
        }
        DestroyWindow(created);
        t_log = nullptr;
    });
    while (window.load() == nullptr) std::this_thread::yield();
    EXPECT_EQ(SendMessage(window, WM_PROBE, 4, 0), 5);
    stop = true;
    ui.join();
    EXPECT_EQ(log, (std::vector<std::string>{"first 4 here=0", "proc 32775 4 ctrl=0 shift=0 a=0"}));
    // The thread's hooks ended with it.
    EXPECT_FALSE(UnhookWindowsHookEx(g_first));
}

HHOOK g_getMessage = nullptr;

// Swallows Shift+click and the A key; lets everything else through.
LRESULT FilterHook(int code, WPARAM wParam, LPARAM lParam) {
    auto* msg = reinterpret_cast<MSG*>(lParam);
    if (code == HC_ACTION && wParam == PM_REMOVE) {
        if (msg->message == WM_LBUTTONDOWN && GetKeyState(VK_SHIFT) < 0) msg->message = WM_NULL;
        if (msg->message == WM_KEYDOWN && msg->wParam == 'A') msg->message = WM_NULL;
    }
    return CallNextHookEx(g_getMessage, code, wParam, lParam);
}

TEST(Hooks, MessageHookSeesTakenMessagesWithTheirKeysAndMaySwallowThem) {
    std::vector<std::string> log;
    t_log = &log;
    HWND window = ProbeWindow();
    g_getMessage = SetWindowsHookExA(WH_GETMESSAGE, FilterHook, nullptr, GetCurrentThreadId());
    ASSERT_NE(g_getMessage, nullptr);
    kv::ui::PostUserMessage(window, WM_LBUTTONDOWN, MK_LBUTTON | MK_CONTROL, MAKELPARAM(3, 4), true, false);
    kv::ui::PostUserMessage(window, WM_LBUTTONDOWN, MK_LBUTTON | MK_SHIFT, MAKELPARAM(3, 4), false, true);
    kv::ui::PostUserMessage(window, WM_KEYDOWN, 'A', 0, true, false, 'A');
    kv::ui::PostUserMessage(window, WM_KEYDOWN, VK_DOWN, 0, false, true, VK_DOWN);
    // Looking without taking is not taking: the hook waits for the real one.
    MSG peeked;
    ASSERT_TRUE(PeekMessage(&peeked, nullptr, 0, 0, PM_NOREMOVE));
    EXPECT_EQ(peeked.message, static_cast<UINT>(WM_LBUTTONDOWN));
    PostMessage(window, WM_PROBE, 9, 0);
    Pump();
    EXPECT_EQ(log, (std::vector<std::string>{"proc 513 9 ctrl=1 shift=0 a=0", "proc 256 40 ctrl=0 shift=1 a=0",
                                              "proc 32775 9 ctrl=0 shift=0 a=0"}));
    // Between inputs no key is held, on this thread or for the process.
    EXPECT_GE(GetKeyState(VK_SHIFT), 0);
    EXPECT_GE(GetAsyncKeyState(VK_CONTROL), 0);
    EXPECT_TRUE(UnhookWindowsHookEx(g_getMessage));
    DestroyWindow(window);
    t_log = nullptr;
}

LRESULT NoHook(int, WPARAM, LPARAM) { return 0; }

TEST(Hooks, RefusesWhatItCannotKeep) {
    EXPECT_EQ(SetWindowsHookExA(WH_CALLWNDPROC, NoHook, nullptr, 0), nullptr);  // global
    EXPECT_EQ(SetWindowsHookExA(2 /* WH_KEYBOARD */, NoHook, nullptr, GetCurrentThreadId()), nullptr);
    EXPECT_EQ(SetWindowsHookExA(WH_GETMESSAGE, nullptr, nullptr, GetCurrentThreadId()), nullptr);
    EXPECT_EQ(SetWindowsHookExA(WH_GETMESSAGE, NoHook, nullptr, 0x7FFFFFF0u), nullptr);  // no such thread
    EXPECT_FALSE(UnhookWindowsHookEx(nullptr));
    EXPECT_EQ(CallNextHookEx(nullptr, HC_ACTION, 0, 0), 0);
}

WNDPROC g_previous = nullptr;

LRESULT SubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_PROBE) {
        Log("subclass " + std::to_string(wParam));
        return CallWindowProc(g_previous, window, message, wParam + 100, lParam) + 1;
    }
    return CallWindowProc(g_previous, window, message, wParam, lParam);
}

TEST(Subclassing, TheNewProcedureRunsAndReachesTheOldOneUntilRestored) {
    std::vector<std::string> log;
    t_log = &log;
    HWND window = ProbeWindow();
    g_previous = reinterpret_cast<WNDPROC>(
        SetWindowLongPtr(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(SubclassProc)));
    EXPECT_EQ(g_previous, ProbeProc);
    EXPECT_EQ(GetWindowLongPtr(window, GWLP_WNDPROC), reinterpret_cast<LONG_PTR>(SubclassProc));
    EXPECT_EQ(SendMessage(window, WM_PROBE, 1, 0), 6);
    PostMessage(window, WM_PROBE, 2, 0);
    Pump();
    SetWindowLongPtr(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(g_previous));
    EXPECT_EQ(SendMessage(window, WM_PROBE, 3, 0), 5);
    EXPECT_EQ(log, (std::vector<std::string>{"subclass 1", "proc 32775 101 ctrl=0 shift=0 a=0", "subclass 2",
                                              "proc 32775 102 ctrl=0 shift=0 a=0", "proc 32775 3 ctrl=0 shift=0 a=0"}));
    DestroyWindow(window);
    t_log = nullptr;
}

}  // namespace
