// Thread hooks: the WH_CALLWNDPROC and WH_GETMESSAGE chains of each thread.
//
// A chain is read as it stood when the event began: a hook that removes
// itself (or another) while it runs leaves that event's chain intact, and
// CallNextHookEx from it still reaches the hooks installed before it. Hooks
// removed meanwhile are skipped.
#include <algorithm>
#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/ui/window/Window.h"
#include "platform/win/LastError.h"

namespace kv::ui::detail {
namespace {

struct Hook {
    int type = 0;
    HOOKPROC proc = nullptr;
    DWORD threadId = 0;
    std::atomic<bool> removed{false};
};

using Chain = std::vector<std::shared_ptr<Hook>>;

std::mutex g_lock;
std::atomic<int> g_count{0};

// Every hook of the process in installation order.
Chain& Installed() {
    static auto* hooks = new Chain;
    return *hooks;
}

// The chains of the hook events this thread is inside, innermost last.
thread_local std::vector<const Chain*> t_running;

HHOOK HandleOf(const Hook* hook) { return reinterpret_cast<HHOOK>(const_cast<Hook*>(hook)); }

Chain ChainOf(int type, DWORD threadId) {
    Chain chain;
    std::lock_guard<std::mutex> guard(g_lock);
    const Chain& all = Installed();
    for (auto it = all.rbegin(); it != all.rend(); ++it)
        if ((*it)->type == type && (*it)->threadId == threadId) chain.push_back(*it);
    return chain;
}

// Calls the first hook of `chain` from `start` that is still installed.
LRESULT CallFrom(const Chain& chain, size_t start, int code, WPARAM wParam, LPARAM lParam) {
    for (size_t i = start; i < chain.size(); ++i) {
        if (chain[i]->removed.load()) continue;
        return chain[i]->proc(code, wParam, lParam);
    }
    return 0;
}

LRESULT RunChain(int type, int code, WPARAM wParam, LPARAM lParam) {
    Chain chain = ChainOf(type, GetCurrentThreadId());
    if (chain.empty()) return 0;
    t_running.push_back(&chain);
    struct Pop {
        ~Pop() { t_running.pop_back(); }
    } pop;
    return CallFrom(chain, 0, code, wParam, lParam);
}

HHOOK Install(int type, HOOKPROC proc, DWORD threadId) {
    if (type != WH_CALLWNDPROC && type != WH_GETMESSAGE) {
        SetLastError(ERROR_INVALID_HOOK_FILTER);
        return nullptr;
    }
    if (proc == nullptr) {
        SetLastError(ERROR_INVALID_FILTER_PROC);
        return nullptr;
    }
    // The hook's thread must be one whose end this model sees, so that its
    // hooks go with it and a later thread reusing the id inherits none.
    if (threadId == GetCurrentThreadId()) {
        CurrentQueue();
    } else if (threadId == 0 || !QueueOfThread(threadId)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto hook = std::make_shared<Hook>();
    hook->type = type;
    hook->proc = proc;
    hook->threadId = threadId;
    {
        std::lock_guard<std::mutex> guard(g_lock);
        Installed().push_back(hook);
        g_count.fetch_add(1);
    }
    // Another thread may have ended meanwhile, its hooks already cleared.
    if (threadId != GetCurrentThreadId() && !QueueOfThread(threadId)) {
        UnhookWindowsHookEx(HandleOf(hook.get()));
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return HandleOf(hook.get());
}

}  // namespace

LRESULT RunCallWndProcHooks(HWND window, UINT message, WPARAM wParam, LPARAM lParam, bool sentHere) {
    if (g_count.load(std::memory_order_relaxed) == 0) return 0;
    CWPSTRUCT info{lParam, wParam, message, window};
    return RunChain(WH_CALLWNDPROC, HC_ACTION, sentHere ? 1 : 0, reinterpret_cast<LPARAM>(&info));
}

void RunGetMessageHooks(MSG* msg) {
    if (g_count.load(std::memory_order_relaxed) == 0) return;
    RunChain(WH_GETMESSAGE, HC_ACTION, PM_REMOVE, reinterpret_cast<LPARAM>(msg));
}

void RemoveThreadHooks(DWORD threadId) {
    std::lock_guard<std::mutex> guard(g_lock);
    Chain& all = Installed();
    for (auto it = all.begin(); it != all.end();) {
        if ((*it)->threadId == threadId) {
            (*it)->removed.store(true);
            it = all.erase(it);
            g_count.fetch_sub(1);
        } else {
            ++it;
        }
    }
}

}  // namespace kv::ui::detail

using namespace kv::ui::detail;

HHOOK SetWindowsHookExA(int idHook, HOOKPROC proc, HINSTANCE, DWORD threadId) { return Install(idHook, proc, threadId); }

HHOOK SetWindowsHookExW(int idHook, HOOKPROC proc, HINSTANCE, DWORD threadId) { return Install(idHook, proc, threadId); }

BOOL UnhookWindowsHookEx(HHOOK handle) {
    std::lock_guard<std::mutex> guard(g_lock);
    Chain& all = Installed();
    auto it = std::find_if(all.begin(), all.end(), [handle](const auto& hook) { return HandleOf(hook.get()) == handle; });
    if (handle == nullptr || it == all.end()) {
        SetLastError(ERROR_INVALID_HOOK_HANDLE);
        return FALSE;
    }
    (*it)->removed.store(true);
    all.erase(it);
    g_count.fetch_sub(1);
    return TRUE;
}

LRESULT CallNextHookEx(HHOOK handle, int code, WPARAM wParam, LPARAM lParam) {
    // The innermost event whose chain holds the hook is the one it hands on.
    for (auto frame = t_running.rbegin(); frame != t_running.rend(); ++frame) {
        const Chain& chain = **frame;
        for (size_t i = 0; i < chain.size(); ++i)
            if (HandleOf(chain[i].get()) == handle) return CallFrom(chain, i + 1, code, wParam, lParam);
    }
    return 0;
}
