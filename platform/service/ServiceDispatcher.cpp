// The service program's side: the dispatcher, the control handler's
// registration and status reports.
//
// The stop control arrives as SIGTERM. Its signal handler only writes a byte
// to a pipe (write is async-signal-safe); the dispatcher thread reads the
// pipe and calls the control handler, so the handler runs as ordinary code
// on the dispatcher thread. Service main and the threads it starts have
// SIGTERM blocked, so their system calls are not interrupted by it.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "platform/service/Service.h"
#include "platform/service/internal/ServiceDatabase.h"
#include "platform/service/internal/ServiceProcess.h"
#include "platform/win/LastError.h"

using namespace kv::platform::service;

struct KvServiceStatusHandle {
    int unused;
};

namespace {

const char kStopByte = 'T';
const char kRegisteredByte = 'R';
const char kMainReturnedByte = 'M';

KvServiceStatusHandle g_statusHandle;
std::atomic<bool> g_dispatcherUsed{false};
std::atomic<bool> g_dispatching{false};
std::atomic<LPHANDLER_FUNCTION> g_handler{nullptr};
std::atomic<DWORD> g_reportedState{0};
std::string g_serviceName;  // written before service main starts, then only read
volatile sig_atomic_t g_wakeFd = -1;
int g_readFd = -1;

BOOL Fail(DWORD error) {
    SetLastError(error);
    return FALSE;
}

extern "C" void OnStopSignal(int) {
    int saved = errno;
    char byte = kStopByte;
    ssize_t ignored = ::write(g_wakeFd, &byte, 1);  // a full pipe already holds a stop
    (void)ignored;
    errno = saved;
}

void Wake(char byte) {
    for (;;) {
        ssize_t n = ::write(g_wakeFd, &byte, 1);
        if (n == 1) return;
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno == EAGAIN) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            continue;
        }
        return;
    }
}

// The database's record of this process, marked as connected when it is the
// process the manager started for the service.
bool ConnectToManager(const std::string& name) {
    DatabaseLock lock;
    std::string folder = FindServiceFolder(name);
    ServiceState state;
    if (folder.empty() || !ReadState(folder, state)) return false;
    if (state.processId != ::getpid() || state.processStartTime != ProcessStartTime(::getpid()) ||
        state.currentState != SERVICE_START_PENDING)
        return false;
    state.connected = true;
    return WriteState(folder, state);
}

std::vector<std::string> StartArguments(const std::string& name) {
    std::string folder = FindServiceFolder(name);
    ServiceState state;
    if (!folder.empty()) ReadState(folder, state);
    return state.arguments;
}

void RecordStatus(const SERVICE_STATUS& status) {
    DatabaseLock lock;
    std::string folder = FindServiceFolder(g_serviceName);
    ServiceState state;
    if (folder.empty() || !ReadState(folder, state) || state.processId != ::getpid()) return;
    state.serviceType = status.dwServiceType;
    state.currentState = status.dwCurrentState;
    state.controlsAccepted = status.dwControlsAccepted;
    state.win32ExitCode = status.dwWin32ExitCode;
    state.serviceSpecificExitCode = status.dwServiceSpecificExitCode;
    state.checkPoint = status.dwCheckPoint;
    state.waitHint = status.dwWaitHint;
    if (status.dwCurrentState == SERVICE_STOPPED) {
        state.controlsAccepted = 0;
        state.processId = 0;
        state.processStartTime = 0;
    }
    WriteState(folder, state);
    if (status.dwCurrentState == SERVICE_STOPPED) {
        ServiceConfig config;
        SettleService(folder, config, state);  // a service marked for deletion goes now
    }
}

void RunServiceMain(LPSERVICE_MAIN_FUNCTIONA serviceMain, std::vector<std::string> args) {
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    serviceMain(static_cast<DWORD>(args.size()), argv.data());
    Wake(kMainReturnedByte);
}

void DeliverStop(bool& pending) {
    DWORD state = g_reportedState.load();
    if (state == SERVICE_STOPPED || state == SERVICE_STOP_PENDING) {
        pending = false;
        return;
    }
    LPHANDLER_FUNCTION handler = g_handler.load();
    if (handler == nullptr) {
        pending = true;  // delivered once service main has registered its handler
        return;
    }
    pending = false;
    handler(SERVICE_CONTROL_STOP);
}

}  // namespace

BOOL StartServiceCtrlDispatcherA(const SERVICE_TABLE_ENTRYA* serviceTable) {
    if (serviceTable == nullptr || serviceTable[0].lpServiceName == nullptr ||
        serviceTable[0].lpServiceProc == nullptr)
        return Fail(ERROR_INVALID_PARAMETER);
    const char* marker = std::getenv("KESTRAVA_SCM_SERVICE");
    if (marker == nullptr || *marker == '\0') return Fail(ERROR_FAILED_SERVICE_CONTROLLER_CONNECT);
    std::string name = marker;

    // A process of one service runs the table's one entry whatever its name;
    // a table of several runs the entry of the service started.
    const SERVICE_TABLE_ENTRYA* entry = &serviceTable[0];
    if (serviceTable[1].lpServiceName != nullptr) {
        entry = nullptr;
        for (const SERVICE_TABLE_ENTRYA* e = serviceTable; e->lpServiceName != nullptr; ++e)
            if (strcasecmp(e->lpServiceName, name.c_str()) == 0) entry = e;
        if (entry == nullptr || entry->lpServiceProc == nullptr) return Fail(ERROR_SERVICE_NOT_IN_EXE);
    }
    if (g_dispatcherUsed.exchange(true)) return Fail(ERROR_SERVICE_ALREADY_RUNNING);
    if (!ConnectToManager(name)) {
        g_dispatcherUsed = false;
        return Fail(ERROR_FAILED_SERVICE_CONTROLLER_CONNECT);
    }
    g_serviceName = name;

    int fds[2];
    if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) return Fail(ERROR_NOT_ENOUGH_MEMORY);
    g_readFd = fds[0];
    g_wakeFd = fds[1];
    struct sigaction action, previousAction;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = &OnStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &action, &previousAction);

    sigset_t term, previousMask;
    sigemptyset(&term);
    sigaddset(&term, SIGTERM);
    ::pthread_sigmask(SIG_BLOCK, &term, &previousMask);
    std::vector<std::string> args{entry->lpServiceName};
    for (const std::string& a : StartArguments(name)) args.push_back(a);
    g_dispatching = true;
    std::thread serviceThread(&RunServiceMain, entry->lpServiceProc, std::move(args));
    ::pthread_sigmask(SIG_UNBLOCK, &term, nullptr);

    bool pendingStop = false;
    for (bool mainReturned = false; !mainReturned;) {
        struct pollfd wait = {g_readFd, POLLIN, 0};
        if (::poll(&wait, 1, -1) < 0) continue;
        char bytes[64];
        ssize_t n = ::read(g_readFd, bytes, sizeof bytes);
        for (ssize_t i = 0; i < n; ++i) {
            if (bytes[i] == kStopByte || (bytes[i] == kRegisteredByte && pendingStop)) DeliverStop(pendingStop);
            else if (bytes[i] == kMainReturnedByte) mainReturned = true;
        }
    }
    serviceThread.join();

    if (g_reportedState.load() != SERVICE_STOPPED) {
        // Service main returned without saying so: the service has stopped
        // all the same, and must not read as running.
        SERVICE_STATUS stopped = {SERVICE_WIN32_OWN_PROCESS, SERVICE_STOPPED, 0, ERROR_PROCESS_ABORTED, 0, 0, 0};
        RecordStatus(stopped);
        g_reportedState = SERVICE_STOPPED;
    }
    g_dispatching = false;
    g_handler = nullptr;
    // The pipe stays open: a signal arriving on another thread just now may
    // still write to it.
    ::sigaction(SIGTERM, &previousAction, nullptr);
    ::pthread_sigmask(SIG_SETMASK, &previousMask, nullptr);
    return TRUE;
}

SERVICE_STATUS_HANDLE RegisterServiceCtrlHandlerA(LPCSTR serviceName, LPHANDLER_FUNCTION handler) {
    if (handler == nullptr || serviceName == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (!g_dispatching.load()) {
        SetLastError(ERROR_SERVICE_NOT_IN_EXE);
        return nullptr;
    }
    g_handler = handler;
    Wake(kRegisteredByte);
    return &g_statusHandle;
}

BOOL SetServiceStatus(SERVICE_STATUS_HANDLE statusHandle, LPSERVICE_STATUS status) {
    if (statusHandle != &g_statusHandle || !g_dispatching.load() || g_handler.load() == nullptr)
        return Fail(ERROR_INVALID_HANDLE);
    if (status == nullptr) return Fail(ERROR_INVALID_PARAMETER);
    if (status->dwCurrentState < SERVICE_STOPPED || status->dwCurrentState > SERVICE_PAUSED)
        return Fail(ERROR_INVALID_DATA);
    RecordStatus(*status);
    g_reportedState = status->dwCurrentState;
    return TRUE;
}
