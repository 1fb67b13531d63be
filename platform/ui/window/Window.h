// Inside the window model: the record of a window, the queue of a
// user-interface thread, and the table that maps handles to both.
//
// A window's fields are touched only by its owning thread. Other threads find
// a window's queue through the table (under its lock) and hand their calls to
// that queue; they never read the window itself.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/ui/Display.h"
#include "platform/ui/WinUser.h"

class CWnd;

namespace kv::ui::detail {

struct ThreadQueue;

// What a control keeps beyond the common fields; each control class has its own.
struct ControlData {
    virtual ~ControlData() = default;
};

struct Window {
    HWND handle = nullptr;
    std::shared_ptr<ThreadQueue> queue;
    std::string className;
    WNDPROC proc = nullptr;
    HWND parent = nullptr;  // child windows
    HWND owner = nullptr;   // top-level windows
    int id = 0;
    std::string text;
    DWORD style = 0;
    DWORD exStyle = 0;
    RECT rect{};  // pixels, in the parent's client area
    HINSTANCE instance = nullptr;
    LONG_PTR userData = 0;
    std::vector<HWND> children;  // creation order, which is the tab order
    WindowKind kind = WindowKind::Window;

    // Dialogs.
    bool isDialog = false;
    DLGPROC dlgProc = nullptr;
    LONG_PTR msgResult = 0;
    LONG_PTR dlgUser = 0;
    bool ended = false;
    INT_PTR endResult = 0;
    int defaultId = 0;  // DM_SETDEFID; 0: the BS_DEFPUSHBUTTON child, else IDOK
    bool modal = false;
    HWND lastFocus = nullptr;  // the control that had the focus when the dialog lost it
    double baseX = 1.5, baseY = 1.625;  // pixels per dialog unit

    // Message boxes: the icon name.
    std::string icon;
    // The class layer's object, when one is attached.
    CWnd* cwnd = nullptr;
    std::unique_ptr<ControlData> control;

    uint64_t zOrder = 0;  // top-level windows: higher is nearer the top
    bool destroying = false;
};

// The keys held with an input message.
struct HeldKeys {
    bool ctrl = false;
    bool shift = false;
    UINT key = 0;  // the key pressed (WM_KEYDOWN / WM_CHAR), 0 for none
};

// A posted message; an input message carries the keys held with it.
struct PostedMessage {
    MSG msg{};
    bool input = false;
    HeldKeys keys;
};

// A call handed to another thread, and its answer.
struct SentCall {
    HWND window = nullptr;  // null: `call` runs without a window
    UINT message = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
    std::function<LRESULT()> call;
    LRESULT result = 0;
    bool done = false;
    std::shared_ptr<ThreadQueue> sender;  // woken when done
};

struct ThreadQueue {
    // Shared with other threads, under `lock`.
    std::mutex lock;
    std::condition_variable wake;
    std::deque<PostedMessage> posted;
    std::deque<std::shared_ptr<SentCall>> sent;
    bool quit = false;
    int quitCode = 0;
    bool alive = true;
    DWORD threadId = 0;

    // The owning thread's own.
    HWND focus = nullptr;
    HWND active = nullptr;
    std::vector<HWND> modalStack;
    bool dirty = true;
    int answeringSend = 0;
    bool publishing = false;
};

// Messages the model posts to itself: never seen by window procedures.
constexpr UINT WM_KV_INPUT = 0x7F01;  // lParam: an Input to apply
constexpr UINT WM_KV_CALL = 0x7F02;   // lParam: a std::function<void()> to run

// The calling thread's queue; created on first use when `create`.
std::shared_ptr<ThreadQueue> CurrentQueue(bool create = true);
std::shared_ptr<ThreadQueue> QueueOfThread(DWORD threadId);

// The window when it exists and belongs to the calling thread.
Window* OwnWindow(HWND handle);
// The queue of the thread owning the window; null for no window.
std::shared_ptr<ThreadQueue> QueueOf(HWND handle);
bool OwnedHere(HWND handle);
// Runs `call` on the window's thread: at once when that is this thread,
// otherwise through its queue while this thread waits. `fallback` when the
// window is gone.
LRESULT OnOwnerThread(HWND handle, const std::function<LRESULT()>& call, LRESULT fallback = 0);
// Runs `call` on the thread of the queue and waits for it.
LRESULT SendToQueue(const std::shared_ptr<ThreadQueue>& target, std::shared_ptr<SentCall> sent);

// The procedure of the window on this thread, as a sent message reaches it
// (after the thread's WH_CALLWNDPROC hooks); 0 when there is none.
// `sentHere`: the message comes from this thread.
LRESULT Deliver(HWND handle, UINT message, WPARAM wParam, LPARAM lParam, bool sentHere = true);

// Hooks (Hooks.cpp).
LRESULT RunCallWndProcHooks(HWND window, UINT message, WPARAM wParam, LPARAM lParam, bool sentHere);
void RunGetMessageHooks(MSG* msg);
void RemoveThreadHooks(DWORD threadId);

// Key state (KeyState.cpp): what GetKeyState answers on this thread.
void SetHeldKeys(const HeldKeys& keys);
HeldKeys CurrentHeldKeys();
// Posts a mouse or key message that the user's input caused: when the
// thread takes it off its queue, its keys become the thread's key state.
bool PostInputMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, const HeldKeys& keys);
// Sends WM_NOTIFY to the parent of a control.
LRESULT Notify(Window* control, UINT code, NMHDR* header);
// Sends WM_COMMAND to the parent of a control.
void CommandToParent(Window* control, UINT code);

// Window creation for the model's own windows (dialogs, message boxes,
// sheets): `created` runs before the first message.
HWND CreateWindowRecord(DWORD exStyle, const char* className, const char* text, DWORD style, RECT rect,
                        HWND parentOrOwner, int id, HINSTANCE instance,
                        const std::function<void(Window*)>& created, LPVOID param);
HWND TopLevelOf(HWND handle);
bool IsAncestor(HWND ancestor, HWND handle);
std::vector<Window*> OwnTopLevelWindows();
// Destroys every window of this thread and fails the calls waiting for it;
// run when the thread ends. Without `callProcedures` the windows go without
// a message to their procedures.
void TearDownThread(bool callProcedures = true);

// The window changed: its thread publishes a new snapshot when it is idle.
void MarkDirty(Window* window);
void MarkDirty();
// Publishes this thread's windows now when they changed.
void PublishOwnWindows();
void RaiseWindow(Window* window);

// Input from the display, applied on the owning thread.
void ApplyInput(const Input& input);

// The dialog manager.
INT_PTR RunModalLoop(HWND dialog);
bool IsDialogWindow(HWND handle);

std::string LoadModuleString(HINSTANCE module, UINT id);

// Adds what only the class layer knows (a sheet's tabs, a page's mark).
void DescribeClassObject(CWnd* object, WindowView& view);

}  // namespace kv::ui::detail
