#include "agent/ServiceModule.h"

#include <cstdio>

#include "platform/sync/Event.h"

CServiceModule g_ServiceModule;

alignas(std::atomic_ref<LONG>::required_alignment) LONG g_lStopFlag = 0;
std::atomic<LONG> g_nFirstPass{0};

void SetStopFlag(LONG value) { std::atomic_ref<LONG>(g_lStopFlag).store(value, std::memory_order_release); }

void CServiceModule::MarkServed() {
    m_bService = true;
    m_hStopEvent.store(nullptr, std::memory_order_release);
}

void CServiceModule::Init(const char* serviceName) {
    std::snprintf(m_szServiceName, sizeof m_szServiceName, "%s", serviceName != nullptr ? serviceName : "");
    std::lock_guard<std::mutex> lock(m_statusLock);
    m_status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    m_status.dwCurrentState = SERVICE_STOPPED;
    m_status.dwControlsAccepted = SERVICE_ACCEPT_STOP;
    m_status.dwWin32ExitCode = 0;
    m_status.dwServiceSpecificExitCode = 0;
    m_status.dwCheckPoint = 0;
    m_status.dwWaitHint = 0;
}

void CServiceModule::SetStartPending() {
    std::lock_guard<std::mutex> lock(m_statusLock);
    m_status.dwCurrentState = SERVICE_START_PENDING;
}

bool CServiceModule::RegisterHandler(LPHANDLER_FUNCTION handler) {
    // Held across the registration: a stop control that arrives at once
    // waits here until the handle it reports into is known.
    std::lock_guard<std::mutex> lock(m_statusLock);
    m_hServiceStatus = RegisterServiceCtrlHandlerA(m_szServiceName, handler);
    return m_hServiceStatus != nullptr;
}

void CServiceModule::ReportStatus(DWORD state) {
    std::lock_guard<std::mutex> lock(m_statusLock);
    m_status.dwCurrentState = state;
    if (m_hServiceStatus != nullptr) SetServiceStatus(m_hServiceStatus, &m_status);
}

void CServiceModule::ReportRunningUnlessStopping() {
    std::lock_guard<std::mutex> lock(m_statusLock);
    if (m_status.dwCurrentState == SERVICE_STOP_PENDING || m_status.dwCurrentState == SERVICE_STOPPED) return;
    m_status.dwCurrentState = SERVICE_RUNNING;
    if (m_hServiceStatus != nullptr) SetServiceStatus(m_hServiceStatus, &m_status);
}

bool CServiceModule::Active() {
    std::lock_guard<std::mutex> lock(m_statusLock);
    return m_status.dwCurrentState != SERVICE_STOP_PENDING && m_status.dwCurrentState != SERVICE_STOPPED;
}

void CServiceModule::OnStop() {
    std::lock_guard<std::mutex> lock(m_statusLock);
    m_status.dwCurrentState = SERVICE_STOP_PENDING;
    if (m_hServiceStatus != nullptr) SetServiceStatus(m_hServiceStatus, &m_status);
    HANDLE event = m_hStopEvent.load(std::memory_order_acquire);
    if (event != nullptr) {
        // The event first: a check that returns because of the flag must find
        // the event signalled at the loop's next wait.
        SetEvent(event);
        SetStopFlag(1);
    }
}

bool CServiceModule::CreateStopEvent() {
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (event == nullptr) return false;
    std::lock_guard<std::mutex> lock(m_statusLock);
    m_hStopEvent.store(event, std::memory_order_release);
    return true;
}

void CServiceModule::CloseStopEvent() {
    HANDLE event = nullptr;
    {
        std::lock_guard<std::mutex> lock(m_statusLock);
        event = m_hStopEvent.exchange(nullptr, std::memory_order_acq_rel);
    }
    if (event != nullptr) CloseHandle(event);
}

DWORD CServiceModule::ExitCode() {
    std::lock_guard<std::mutex> lock(m_statusLock);
    return m_status.dwWin32ExitCode;
}
