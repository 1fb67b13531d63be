// A user-interface thread: its own message queue and message loop, and a way
// for other threads to run code on it. Hosts run the snap-in on one; headless
// tests run the dialogs under test on one and drive them through the display.
#pragma once

#include <functional>
#include <memory>

#include "platform/ui/UiExport.h"
#include "platform/ui/WinUser.h"

namespace kv::ui {

class KV_UI_API UiThread {
public:
    UiThread();
    // Ends the loop (PostQuitMessage on the thread) and joins it; windows the
    // thread still owns are destroyed with it.
    ~UiThread();
    UiThread(const UiThread&) = delete;
    UiThread& operator=(const UiThread&) = delete;

    // Runs the call on the thread and waits for it; nested modal loops keep
    // the thread's queue turning while the call waits in them, so a call that
    // shows a modal dialog returns only when the dialog ends.
    void Invoke(const std::function<void()>& call);
    // Queues the call and returns at once.
    void Post(std::function<void()> call);
    // Stops the loop and waits for the thread; idempotent.
    void Stop();
    DWORD ThreadId() const;

private:
    struct State;
    std::unique_ptr<State> m_state;
};

}  // namespace kv::ui
