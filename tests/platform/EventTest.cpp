// Event objects: manual and automatic reset, time-outs, a wait woken by
// another thread, and a wait that reads the descriptor of the source that
// sets its event.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <thread>

#include "platform/sync/Event.h"
#include "platform/sync/internal/EventSource.h"
#include "platform/win/LastError.h"

namespace {

TEST(Event, ManualResetStaysSignalledUntilReset) {
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(event, nullptr);
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT);
    EXPECT_EQ(WaitForSingleObject(event, 1), WAIT_TIMEOUT);
    ASSERT_TRUE(SetEvent(event));
    ASSERT_TRUE(SetEvent(event));  // twice is still one signalled state
    EXPECT_EQ(WaitForSingleObject(event, 1), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
    ASSERT_TRUE(ResetEvent(event));
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT);
    EXPECT_TRUE(CloseHandle(event));
}

TEST(Event, AutoResetReleasesOneWait) {
    HANDLE event = CreateEventA(nullptr, FALSE, TRUE, nullptr);
    ASSERT_NE(event, nullptr);
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT);
    SetEvent(event);
    SetEvent(event);
    EXPECT_EQ(WaitForSingleObject(event, 5), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT);
    CloseHandle(event);
}

TEST(Event, SignalFromAnotherThreadEndsAnEndlessWait) {
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(event, nullptr);
    std::thread signaller([event] { SetEvent(event); });
    EXPECT_EQ(WaitForSingleObject(event, INFINITE), WAIT_OBJECT_0);
    signaller.join();
    CloseHandle(event);
}

TEST(Event, BadHandlesAndNames) {
    EXPECT_EQ(WaitForSingleObject(nullptr, 0), WAIT_FAILED);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_FALSE(SetEvent(INVALID_HANDLE_VALUE));
    EXPECT_FALSE(ResetEvent(nullptr));
    EXPECT_EQ(CreateEventA(nullptr, TRUE, FALSE, "Global\\Named"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST(Event, WaitOnSeveralReportsTheLowestSignalled) {
    HANDLE manual = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE automatic = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    HANDLE both[2] = {manual, automatic};
    EXPECT_EQ(WaitForMultipleObjects(2, both, FALSE, 1), WAIT_TIMEOUT);

    SetEvent(automatic);
    EXPECT_EQ(WaitForMultipleObjects(2, both, FALSE, 0), WAIT_OBJECT_0 + 1);
    EXPECT_EQ(WaitForMultipleObjects(2, both, FALSE, 0), WAIT_TIMEOUT);  // the auto-reset one was taken

    SetEvent(automatic);
    SetEvent(manual);
    EXPECT_EQ(WaitForMultipleObjects(2, both, FALSE, 0), WAIT_OBJECT_0);
    ResetEvent(manual);
    EXPECT_EQ(WaitForMultipleObjects(2, both, FALSE, 0), WAIT_OBJECT_0 + 1);  // still signalled: not taken above

    std::thread signaller([automatic] { SetEvent(automatic); });
    EXPECT_EQ(WaitForMultipleObjects(2, both, FALSE, INFINITE), WAIT_OBJECT_0 + 1);
    signaller.join();

    HANDLE withBad[2] = {manual, nullptr};
    EXPECT_EQ(WaitForMultipleObjects(2, withBad, FALSE, 0), WAIT_FAILED);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_EQ(WaitForMultipleObjects(2, both, TRUE, 0), WAIT_FAILED);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(WaitForMultipleObjects(0, both, FALSE, 0), WAIT_FAILED);
    CloseHandle(manual);
    CloseHandle(automatic);
}

// A pipe standing for a notifier: its pump reads a byte and sets the event;
// no thread of its own, so only the waiter can ever read it.
struct PipeSource {
    int ends[2] = {-1, -1};
    HANDLE event = nullptr;
    std::atomic<int> pumps{0};
    bool dead = false;
    kv::platform::sync::EventSource source{};

    explicit PipeSource(HANDLE target) : event(target) {
        EXPECT_EQ(::pipe(ends), 0);
        source = {ends[0], &Pump, this};
        EXPECT_TRUE(kv::platform::sync::AttachEventSource(event, &source));
    }
    ~PipeSource() {
        ::close(ends[0]);
        if (ends[1] >= 0) ::close(ends[1]);
    }
    static bool Pump(void* context) {
        auto* self = static_cast<PipeSource*>(context);
        ++self->pumps;
        char byte = 0;
        if (::read(self->ends[0], &byte, 1) != 1) return false;  // the writer is gone
        if (byte == 's') SetEvent(self->event);
        return true;
    }
};

TEST(Event, AWaiterReadsTheSourceOfItsEvent) {
    HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    HANDLE other = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    PipeSource pipe(event);
    HANDLE both[2] = {other, event};
    // Data that concerns no event is read and the wait goes on to its end.
    ASSERT_EQ(::write(pipe.ends[1], "x", 1), 1);
    EXPECT_EQ(WaitForMultipleObjects(2, both, FALSE, 5), WAIT_TIMEOUT);
    EXPECT_EQ(pipe.pumps.load(), 1);
    // Data that sets the event ends an endless wait on the waiting thread.
    std::thread writer([&pipe] { EXPECT_EQ(::write(pipe.ends[1], "s", 1), 1); });
    EXPECT_EQ(WaitForMultipleObjects(2, both, FALSE, INFINITE), WAIT_OBJECT_0 + 1);
    writer.join();
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT);  // auto-reset: taken by that wait
    // A second source cannot replace the first.
    PipeSource second(event);
    ASSERT_EQ(::write(pipe.ends[1], "s", 1), 1);
    EXPECT_EQ(WaitForSingleObject(event, INFINITE), WAIT_OBJECT_0);
    EXPECT_EQ(second.pumps.load(), 0);
    EXPECT_FALSE(kv::platform::sync::AttachEventSource(nullptr, &pipe.source));
    CloseHandle(event);
    CloseHandle(other);
}

// A source whose descriptor stays readable for ever (its writer closed) is
// read once and then left alone: the wait ends at its time instead of
// spinning, and a SetEvent still ends it.
TEST(Event, ADeadSourceIsLeftAlone) {
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    PipeSource pipe(event);
    ::close(pipe.ends[1]);
    pipe.ends[1] = -1;
    EXPECT_EQ(WaitForSingleObject(event, 20), WAIT_TIMEOUT);
    EXPECT_EQ(pipe.pumps.load(), 1);
    std::thread signaller([event] { SetEvent(event); });
    EXPECT_EQ(WaitForSingleObject(event, INFINITE), WAIT_OBJECT_0);
    signaller.join();
    CloseHandle(event);
}

}  // namespace
