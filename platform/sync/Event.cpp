// Events on eventfd: the counter is the signalled state. A manual-reset
// wait only polls for readability and leaves the counter alone; an
// auto-reset wait consumes it with a non-blocking read, and a waiter that
// loses that race to another goes back to waiting. One wait is one poll(2):
// an idle 1 ms wait costs a single system call.
#include "platform/sync/Event.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

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
    if (count == 0 || count > MAXIMUM_WAIT_OBJECTS || handles == nullptr || waitAll) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return WAIT_FAILED;
    }
    KvEvent* events[MAXIMUM_WAIT_OBJECTS];
    struct pollfd waits[MAXIMUM_WAIT_OBJECTS];
    for (DWORD i = 0; i < count; ++i) {
        events[i] = AsEvent(handles[i]);
        if (events[i] == nullptr) {
            SetLastError(ERROR_INVALID_HANDLE);
            return WAIT_FAILED;
        }
    }
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
        int ready = ::poll(waits, count, timeout);
        if (ready < 0) {
            if (errno == EINTR) continue;
            SetLastError(ERROR_INVALID_HANDLE);
            return WAIT_FAILED;
        }
        for (DWORD i = 0; ready > 0 && i < count; ++i) {
            if ((waits[i].revents & (POLLERR | POLLNVAL)) != 0) {
                SetLastError(ERROR_INVALID_HANDLE);
                return WAIT_FAILED;
            }
            if ((waits[i].revents & POLLIN) == 0) continue;
            if (events[i]->manualReset || Drain(events[i]->fd)) return WAIT_OBJECT_0 + i;
            // another waiter took the signal of an auto-reset event
        }
        if (timeout == 0 || (!forever && Clock::now() >= deadline)) return WAIT_TIMEOUT;
    }
}
