// One pending change notification of a key: an inotify instance on the key's
// folder (and, for a subtree, on every folder below it), armed before the
// caller is told it is, so that no change made afterwards can slip by.
#pragma once

#ifndef KV_PLATFORM_INTERNAL
#error "registry internals are not for use outside platform/"
#endif

#include <atomic>
#include <memory>
#include <string>
#include <thread>

#include "platform/win/WinTypes.h"

namespace kv::platform::registry {

class KeyChangeWatch {
public:
    // Arms the watch and starts a thread that signals the event at the first
    // change the filter asks for, or when the key's folder goes away.
    static LONG Start(const std::string& folder, bool subtree, DWORD filter, HANDLE event,
                      std::unique_ptr<KeyChangeWatch>& watch);
    // Arms the watch and returns when such a change has happened.
    static LONG WaitForChange(const std::string& folder, bool subtree, DWORD filter);

    // Ends the watch; its event is signalled unless it fired already, as the
    // closing of the key it belongs to signals it.
    ~KeyChangeWatch();
    KeyChangeWatch(const KeyChangeWatch&) = delete;
    KeyChangeWatch& operator=(const KeyChangeWatch&) = delete;

    bool Fired() const { return m_fired.load(std::memory_order_acquire); }

private:
    KeyChangeWatch(int inotifyFd, int cancelFd, DWORD filter, HANDLE event);
    void Run();

    const int m_inotifyFd;
    const int m_cancelFd;
    const DWORD m_filter;
    const HANDLE m_event;
    std::atomic<bool> m_fired{false};
    std::thread m_thread;
};

}  // namespace kv::platform::registry
