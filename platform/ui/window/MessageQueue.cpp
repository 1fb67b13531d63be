// The message queue of each user-interface thread: posted messages, calls
// sent from other threads, and the quit request.
#include <sys/syscall.h>
#include <unistd.h>

#include <map>

#include "platform/ui/window/Window.h"

namespace kv::ui::detail {
namespace {

std::mutex g_threadsLock;
std::map<DWORD, std::weak_ptr<ThreadQueue>>& Threads() {
    static auto* threads = new std::map<DWORD, std::weak_ptr<ThreadQueue>>;
    return *threads;
}

// The thread's queue; when the thread ends its windows go without further
// messages (a module that owned their procedures may be gone by then), and
// every thread still waiting for an answer from it is released.
struct QueueHolder {
    std::shared_ptr<ThreadQueue> queue;
    ~QueueHolder() {
        if (!queue) return;
        TearDownThread(false);
        {
            std::lock_guard<std::mutex> guard(g_threadsLock);
            Threads().erase(queue->threadId);
        }
        // After the thread left the table: a hook installed for it from now
        // on is refused, one installed before goes here.
        RemoveThreadHooks(queue->threadId);
    }
};
thread_local QueueHolder t_holder;

void Complete(const std::shared_ptr<SentCall>& call, LRESULT result) {
    std::lock_guard<std::mutex> guard(call->sender->lock);
    call->result = result;
    call->done = true;
    call->sender->wake.notify_all();
}

// Answers one call sent from another thread; false when none waits.
bool AnswerOneSentCall(const std::shared_ptr<ThreadQueue>& queue) {
    std::shared_ptr<SentCall> call;
    {
        std::lock_guard<std::mutex> guard(queue->lock);
        if (queue->sent.empty()) return false;
        call = std::move(queue->sent.front());
        queue->sent.pop_front();
    }
    ++queue->answeringSend;
    LRESULT result = 0;
    if (call->call) {
        result = call->call();
    } else if (OwnWindow(call->window) != nullptr) {
        result = Deliver(call->window, call->message, call->wParam, call->lParam, false);
    }
    --queue->answeringSend;
    Complete(call, result);
    return true;
}

bool Matches(const MSG& msg, HWND window, UINT filterMin, UINT filterMax) {
    if (window != nullptr && msg.hwnd != window) return false;
    if (filterMin == 0 && filterMax == 0) return true;
    return msg.message >= filterMin && msg.message <= filterMax;
}

// Takes the first matching posted message; WM_QUIT once nothing else waits.
// 1: a message, 0: WM_QUIT, -1: nothing.
int TakePosted(const std::shared_ptr<ThreadQueue>& queue, LPMSG msg, HWND window, UINT filterMin,
               UINT filterMax, bool remove) {
    std::unique_lock<std::mutex> guard(queue->lock);
    for (auto it = queue->posted.begin(); it != queue->posted.end(); ++it) {
        if (!Matches(it->msg, window, filterMin, filterMax)) continue;
        *msg = it->msg;
        if (!remove) return 1;
        PostedMessage taken = *it;
        queue->posted.erase(it);
        guard.unlock();
        // The keys last as long as the input they came with: a message that
        // no user input caused finds none held.
        SetHeldKeys(taken.input ? taken.keys : HeldKeys{});
        if (msg->message != WM_KV_INPUT && msg->message != WM_KV_CALL) RunGetMessageHooks(msg);
        return 1;
    }
    if (queue->quit && queue->posted.empty()) {
        *msg = MSG{nullptr, WM_QUIT, static_cast<WPARAM>(queue->quitCode), 0, 0, {0, 0}};
        if (remove) queue->quit = false;
        return 0;
    }
    return -1;
}

bool Post(const std::shared_ptr<ThreadQueue>& queue, HWND window, UINT message, WPARAM wParam, LPARAM lParam,
          const HeldKeys* keys = nullptr) {
    if (!queue) return false;
    std::lock_guard<std::mutex> guard(queue->lock);
    if (!queue->alive) return false;
    PostedMessage posted;
    posted.msg = MSG{window, message, wParam, lParam, 0, {0, 0}};
    if (keys != nullptr) {
        posted.input = true;
        posted.keys = *keys;
    }
    queue->posted.push_back(posted);
    queue->wake.notify_all();
    return true;
}

}  // namespace

std::shared_ptr<ThreadQueue> CurrentQueue(bool create) {
    if (!t_holder.queue && create) {
        auto queue = std::make_shared<ThreadQueue>();
        queue->threadId = static_cast<DWORD>(::syscall(SYS_gettid));
        t_holder.queue = queue;
        std::lock_guard<std::mutex> guard(g_threadsLock);
        Threads()[queue->threadId] = queue;
    }
    return t_holder.queue;
}

std::shared_ptr<ThreadQueue> QueueOfThread(DWORD threadId) {
    std::lock_guard<std::mutex> guard(g_threadsLock);
    auto it = Threads().find(threadId);
    return it == Threads().end() ? nullptr : it->second.lock();
}

LRESULT SendToQueue(const std::shared_ptr<ThreadQueue>& target, std::shared_ptr<SentCall> sent) {
    std::shared_ptr<ThreadQueue> me = CurrentQueue();
    sent->sender = me;
    {
        std::lock_guard<std::mutex> guard(target->lock);
        if (!target->alive) return 0;
        target->sent.push_back(sent);
        target->wake.notify_all();
    }
    // While waiting, answer what others send here: two threads sending to
    // each other must not wait for ever.
    for (;;) {
        {
            std::unique_lock<std::mutex> guard(me->lock);
            if (sent->done) return sent->result;
            if (me->sent.empty()) {
                me->wake.wait(guard);
                continue;
            }
        }
        AnswerOneSentCall(me);
    }
}

LRESULT OnOwnerThread(HWND handle, const std::function<LRESULT()>& call, LRESULT fallback) {
    if (OwnWindow(handle) != nullptr) return call();
    std::shared_ptr<ThreadQueue> target = QueueOf(handle);
    if (!target) return fallback;
    if (target == CurrentQueue(false)) return fallback;  // being destroyed
    auto sent = std::make_shared<SentCall>();
    sent->call = [handle, call, fallback]() { return OwnWindow(handle) != nullptr ? call() : fallback; };
    sent->result = fallback;
    return SendToQueue(target, sent);
}

LRESULT Deliver(HWND handle, UINT message, WPARAM wParam, LPARAM lParam, bool sentHere) {
    if (OwnWindow(handle) == nullptr) return 0;
    RunCallWndProcHooks(handle, message, wParam, lParam, sentHere);
    // The hooks may have destroyed the window or replaced its procedure.
    Window* window = OwnWindow(handle);
    if (window == nullptr || window->proc == nullptr) return 0;
    return window->proc(handle, message, wParam, lParam);
}

bool PostInputMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, const HeldKeys& keys) {
    return Post(QueueOf(window), window, message, wParam, lParam, &keys);
}

namespace {

// A posted message reaches the procedure without the send hooks.
LRESULT DeliverPosted(HWND handle, UINT message, WPARAM wParam, LPARAM lParam) {
    Window* window = OwnWindow(handle);
    if (window == nullptr || window->proc == nullptr) return 0;
    return window->proc(handle, message, wParam, lParam);
}

}  // namespace

}  // namespace kv::ui::detail

using namespace kv::ui::detail;

BOOL GetMessage(LPMSG msg, HWND window, UINT filterMin, UINT filterMax) {
    if (msg == nullptr) return -1;
    std::shared_ptr<ThreadQueue> queue = CurrentQueue();
    for (;;) {
        while (AnswerOneSentCall(queue)) {
        }
        int taken = TakePosted(queue, msg, window, filterMin, filterMax, true);
        if (taken >= 0) return taken == 1 && msg->message != WM_QUIT ? TRUE : FALSE;
        // Idle: what the windows now show is complete.
        PublishOwnWindows();
        std::unique_lock<std::mutex> guard(queue->lock);
        if (queue->sent.empty() && !queue->quit && queue->posted.empty()) queue->wake.wait(guard);
    }
}

BOOL PeekMessage(LPMSG msg, HWND window, UINT filterMin, UINT filterMax, UINT remove) {
    if (msg == nullptr) return FALSE;
    std::shared_ptr<ThreadQueue> queue = CurrentQueue();
    while (AnswerOneSentCall(queue)) {
    }
    return TakePosted(queue, msg, window, filterMin, filterMax, (remove & PM_REMOVE) != 0) >= 0;
}

BOOL WaitMessage() {
    std::shared_ptr<ThreadQueue> queue = CurrentQueue();
    PublishOwnWindows();
    std::unique_lock<std::mutex> guard(queue->lock);
    queue->wake.wait(guard, [&] { return !queue->sent.empty() || !queue->posted.empty() || queue->quit; });
    return TRUE;
}

BOOL TranslateMessage(const MSG*) { return FALSE; }

LRESULT DispatchMessage(const MSG* msg) {
    if (msg == nullptr) return 0;
    if (msg->message == WM_KV_INPUT) {
        std::unique_ptr<kv::ui::Input> input(reinterpret_cast<kv::ui::Input*>(msg->lParam));
        if (input) ApplyInput(*input);
        return 0;
    }
    if (msg->message == WM_KV_CALL) {
        std::unique_ptr<std::function<void()>> call(reinterpret_cast<std::function<void()>*>(msg->lParam));
        if (call && *call) (*call)();
        return 0;
    }
    if (msg->hwnd == nullptr) return 0;
    return DeliverPosted(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

BOOL PostMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (window == nullptr) return Post(CurrentQueue(), nullptr, message, wParam, lParam);
    return Post(QueueOf(window), window, message, wParam, lParam);
}

BOOL PostThreadMessage(DWORD threadId, UINT message, WPARAM wParam, LPARAM lParam) {
    return Post(QueueOfThread(threadId), nullptr, message, wParam, lParam);
}

LRESULT SendMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (OwnWindow(window) != nullptr) return Deliver(window, message, wParam, lParam);
    std::shared_ptr<ThreadQueue> target = QueueOf(window);
    if (!target || target == CurrentQueue(false)) return 0;
    auto sent = std::make_shared<SentCall>();
    sent->window = window;
    sent->message = message;
    sent->wParam = wParam;
    sent->lParam = lParam;
    return SendToQueue(target, sent);
}

void PostQuitMessage(int exitCode) {
    std::shared_ptr<ThreadQueue> queue = CurrentQueue();
    std::lock_guard<std::mutex> guard(queue->lock);
    queue->quit = true;
    queue->quitCode = exitCode;
    queue->wake.notify_all();
}

BOOL InSendMessage() {
    std::shared_ptr<ThreadQueue> queue = CurrentQueue(false);
    return queue && queue->answeringSend > 0;
}

DWORD GetCurrentThreadId() { return static_cast<DWORD>(::syscall(SYS_gettid)); }

DWORD GetWindowThreadProcessId(HWND window, LPDWORD processId) {
    std::shared_ptr<ThreadQueue> queue = QueueOf(window);
    if (!queue) return 0;
    if (processId != nullptr) *processId = static_cast<DWORD>(::getpid());
    return queue->threadId;
}
