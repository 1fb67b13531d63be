// One pending change notification of a key. All of a process's watches share
// one inotify instance and one thread that reads it: an instance is cheap to
// keep but slow to close (the kernel waits out a grace period, some 15 ms),
// which a service re-arming its watch after every change would pay each
// time. A watch is armed before Start returns, so that no change made
// afterwards can slip by.
#pragma once

#ifndef KV_PLATFORM_INTERNAL
#error "registry internals are not for use outside platform/"
#endif

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "platform/win/WinTypes.h"

namespace kv::platform::registry {

class KeyChangeWatch {
public:
    // Arms the watch; the event is signalled at the first change the filter
    // asks for, or when the key's folder goes away.
    static LONG Start(const std::string& folder, bool subtree, DWORD filter, HANDLE event,
                      std::unique_ptr<KeyChangeWatch>& watch);
    // Arms a watch and returns when such a change has happened.
    static LONG WaitForChange(const std::string& folder, bool subtree, DWORD filter);

    // Ends the watch; its event is signalled unless it fired already, as the
    // closing of the key it belongs to signals it.
    ~KeyChangeWatch();
    KeyChangeWatch(const KeyChangeWatch&) = delete;
    KeyChangeWatch& operator=(const KeyChangeWatch&) = delete;

    bool Fired() const { return m_fired.load(std::memory_order_acquire); }

private:
    friend class ChangeNotifier;
    KeyChangeWatch(DWORD filter, HANDLE event) : m_filter(filter), m_event(event) {}

    const DWORD m_filter;
    const HANDLE m_event;
    std::vector<int> m_watchIds;  // the inotify watches it listens to
    std::atomic<bool> m_fired{false};
};

}  // namespace kv::platform::registry
