// The service's module object: its name, status record and status handle,
// the stop event, and whether the process is served by the service control
// manager; and the process-wide stop and first-pass flags.
//
// Two threads meet here: the dispatcher thread runs the control handler,
// the service thread runs service main and the poll loop. The stop flag is
// one aligned 32-bit word, read and written only through atomic views; the
// status record, the status handle and the stop event's handle are touched
// under one lock, so that a stop control can neither report into a handle
// being registered nor signal an event being closed. The poll loop itself
// takes no lock: it waits on the event and the engine reads the flag.
#pragma once

#include <atomic>
#include <mutex>

#include "platform/service/Service.h"
#include "platform/win/WinTypes.h"

#define SERVICE_NAME_CHARS 256

class CServiceModule {
public:
    // Program start: served until the dispatcher cannot be reached; no stop
    // event yet.
    void MarkServed();
    void ClearServed() { m_bService = false; }
    bool Served() const { return m_bService; }

    // The service name and the status record: own process, stop accepted,
    // stopped, every code 0.
    void Init(const char* serviceName);
    const char* ServiceName() const { return m_szServiceName; }

    // Service main: start pending, then the handler's registration.
    void SetStartPending();
    bool RegisterHandler(LPHANDLER_FUNCTION handler);
    // Sets the current state and reports the status record.
    void ReportStatus(DWORD state);
    // Reports running unless a stop control has come first: a stop that
    // arrives during start-up is not undone.
    void ReportRunningUnlessStopping();
    // Neither stop pending nor stopped.
    bool Active();

    // The control handler's stop: stop pending, then, when the event exists,
    // signal it and set the stop flag.
    void OnStop();

    // The run's stop event: manual reset, not signalled. False when it
    // cannot be created.
    bool CreateStopEvent();
    HANDLE StopEvent() const { return m_hStopEvent.load(std::memory_order_acquire); }
    void CloseStopEvent();

    DWORD ExitCode();

private:
    char m_szServiceName[SERVICE_NAME_CHARS] = {};
    bool m_bService = false;
    std::mutex m_statusLock;
    SERVICE_STATUS m_status = {};
    SERVICE_STATUS_HANDLE m_hServiceStatus = nullptr;
    std::atomic<HANDLE> m_hStopEvent{nullptr};
};

extern CServiceModule g_ServiceModule;

// 0 = go on, 1 = stop requested; its address is handed to CheckFiles.
extern LONG g_lStopFlag;
void SetStopFlag(LONG value);

// 1 once the poll loop has completed its first wait in this process.
extern std::atomic<LONG> g_nFirstPass;
