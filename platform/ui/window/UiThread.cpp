#include "platform/ui/UiThread.h"

#include <future>
#include <thread>

#include "platform/ui/window/Window.h"

namespace kv::ui {

struct UiThread::State {
    std::thread thread;
    std::shared_ptr<detail::ThreadQueue> queue;
    DWORD threadId = 0;
    std::mutex lock;
    bool stopped = false;
};

UiThread::UiThread() : m_state(std::make_unique<State>()) {
    std::promise<std::shared_ptr<detail::ThreadQueue>> ready;
    auto queueFuture = ready.get_future();
    m_state->thread = std::thread([&ready] {
        ready.set_value(detail::CurrentQueue());
        MSG msg;
        while (GetMessage(&msg, nullptr, 0, 0) > 0) {
            TranslateMessage(&msg);
            DispatchMessage(&msg);
        }
        // The windows go while the modules that run them are still loaded.
        detail::TearDownThread(true);
    });
    m_state->queue = queueFuture.get();
    m_state->threadId = m_state->queue->threadId;
}

UiThread::~UiThread() { Stop(); }

void UiThread::Invoke(const std::function<void()>& call) {
    if (detail::CurrentQueue(false) == m_state->queue) {
        call();
        return;
    }
    auto sent = std::make_shared<detail::SentCall>();
    sent->call = [&call]() -> LRESULT {
        call();
        return 0;
    };
    detail::SendToQueue(m_state->queue, sent);
}

void UiThread::Post(std::function<void()> call) {
    auto* copy = new std::function<void()>(std::move(call));
    if (!PostThreadMessage(m_state->threadId, detail::WM_KV_CALL, 0, reinterpret_cast<LPARAM>(copy))) delete copy;
}

void UiThread::Stop() {
    std::lock_guard<std::mutex> guard(m_state->lock);
    if (m_state->stopped) return;
    m_state->stopped = true;
    Post([] { PostQuitMessage(0); });
    if (m_state->thread.joinable()) m_state->thread.join();
}

DWORD UiThread::ThreadId() const { return m_state->threadId; }

}  // namespace kv::ui
