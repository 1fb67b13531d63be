// Events on eventfd: the counter is the signalled state. A manual-reset
// wait only polls for readability and leaves the counter alone; an
// auto-reset wait consumes it with a non-blocking read, and a waiter that
// loses that race to another goes back to waiting. One wait is one poll(2):
// an idle 1 ms wait costs a single system call.
#include "platform/sync/Event.h"
#include "platform/sync/internal/EventSource.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>

#include "platform/win/LastError.h"

namespace {

struct KvEvent : KvHandle {
    KvEvent(int descriptor, bool manual) : fd(descriptor), manualReset(manual) {}
    ~KvEvent() override { ::close(fd); }
    const int fd;
    const bool manualReset;
    std::atomic<const kv::platform::sync::EventSource*> source{nullptr};
};

KvEvent* AsEvent(HANDLE handle) {
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return nullptr;
    return dynamic_cast<KvEvent*>(static_cast<KvHandle*>(handle));
}

// Empties the counter; true when it held a signal.
bool Drain(int fd) {
    uint64_t value = 0;
    for (;;) {
        ssize_t n = ::read(fd, &value, sizeof value);
        if (n == sizeof value) return true;
        if (n < 0 && errno == EINTR) continue;
        return false;  // EAGAIN: not signalled
    }
}

}  // namespace

HANDLE CreateEventA(void*, BOOL manualReset, BOOL initialState, LPCSTR name) {
    if (name != nullptr && *name != '\0') {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    int fd = ::eventfd(initialState ? 1 : 0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (fd < 0) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    return static_cast<KvHandle*>(new KvEvent(fd, manualReset != FALSE));
}

BOOL SetEvent(HANDLE handle) {
    KvEvent* event = AsEvent(handle);
    if (event == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    // The counter only ever needs to be non-zero; a full counter (EAGAIN)
    // is signalled already.
    uint64_t one = 1;
    for (;;) {
        ssize_t n = ::write(event->fd, &one, sizeof one);
        if (n == sizeof one || (n < 0 && errno == EAGAIN)) return TRUE;
        if (n < 0 && errno == EINTR) continue;
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
}

BOOL ResetEvent(HANDLE handle) {
    KvEvent* event = AsEvent(handle);
    if (event == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    Drain(event->fd);
    return TRUE;
}

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) { return WaitForMultipleObjects(1, &handle, FALSE, milliseconds); }

DWORD WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD milliseconds) {
    using kv::platform::sync::EventSource;
    if (count == 0 || count > MAXIMUM_WAIT_OBJECTS || handles == nullptr || waitAll) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return WAIT_FAILED;
    }
    KvEvent* events[MAXIMUM_WAIT_OBJECTS];
    const EventSource* sources[MAXIMUM_WAIT_OBJECTS];
    DWORD sourceCount = 0;
    struct pollfd waits[2 * MAXIMUM_WAIT_OBJECTS];
    for (DWORD i = 0; i < count; ++i) {
        events[i] = AsEvent(handles[i]);
        if (events[i] == nullptr) {
            SetLastError(ERROR_INVALID_HANDLE);
            return WAIT_FAILED;
        }
        const EventSource* source = events[i]->source.load(std::memory_order_acquire);
        bool known = source == nullptr;
        for (DWORD j = 0; !known && j < sourceCount; ++j) known = sources[j] == source;
        if (!known) sources[sourceCount++] = source;
    }
    // The signalled event of the lowest index, after a poll that filled the
    // first count entries of waits; WAIT_FAILED for a handle gone bad,
    // WAIT_TIMEOUT for none.
    auto signalled = [&]() -> DWORD {
        for (DWORD i = 0; i < count; ++i) {
            if ((waits[i].revents & (POLLERR | POLLNVAL)) != 0) {
                SetLastError(ERROR_INVALID_HANDLE);
                return WAIT_FAILED;
            }
            if ((waits[i].revents & POLLIN) == 0) continue;
            if (events[i]->manualReset || Drain(events[i]->fd)) return WAIT_OBJECT_0 + i;
            // another waiter took the signal of an auto-reset event
        }
        return WAIT_TIMEOUT;
    };
    using Clock = std::chrono::steady_clock;
    const bool forever = milliseconds == INFINITE;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(forever ? 0 : milliseconds);
    for (;;) {
        int timeout = -1;
        if (!forever) {
            // Rounded up: a wait never ends before its time.
            auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
            timeout = left > 0 ? static_cast<int>(left) : 0;
        }
        for (DWORD i = 0; i < count; ++i) waits[i] = {events[i]->fd, POLLIN, 0};
        for (DWORD j = 0; j < sourceCount; ++j) waits[count + j] = {sources[j]->fd, POLLIN, 0};
        int ready = ::poll(waits, count + sourceCount, timeout);
        if (ready < 0) {
            if (errno == EINTR) continue;
            SetLastError(ERROR_INVALID_HANDLE);
            return WAIT_FAILED;
        }
        DWORD result = signalled();
        if (result != WAIT_TIMEOUT) return result;
        bool pumped = false;
        for (DWORD j = 0; j < sourceCount; ++j) {
            const short revents = waits[count + j].revents;
            // A source that failed is not watched again by this wait: its
            // descriptor would never block. Its own reader has set what it
            // still could.
            if ((revents & (POLLERR | POLLNVAL)) != 0) {
                sources[j] = nullptr;
                continue;
            }
            if ((revents & (POLLIN | POLLHUP)) == 0) continue;
            if (!sources[j]->pump(sources[j]->context)) sources[j] = nullptr;
            pumped = true;
        }
        DWORD kept = 0;
        for (DWORD j = 0; j < sourceCount; ++j)
            if (sources[j] != nullptr) sources[kept++] = sources[j];
        sourceCount = kept;
        if (pumped) {
            // What the pump set counts before the time is up.
            for (DWORD i = 0; i < count; ++i) waits[i] = {events[i]->fd, POLLIN, 0};
            if (::poll(waits, count, 0) > 0) {
                result = signalled();
                if (result != WAIT_TIMEOUT) return result;
            }
        }
        if (timeout == 0 || (!forever && Clock::now() >= deadline)) return WAIT_TIMEOUT;
    }
}

namespace kv::platform::sync {

bool AttachEventSource(HANDLE handle, const EventSource* source) {
    KvEvent* event = AsEvent(handle);
    if (event == nullptr || source == nullptr) return false;
    const EventSource* none = nullptr;
    event->source.compare_exchange_strong(none, source, std::memory_order_acq_rel);
    return true;
}

}  // namespace kv::platform::sync
