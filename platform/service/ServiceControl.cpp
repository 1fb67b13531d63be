// The manager's side: the calls a program uses to install, start, stop,
// query and remove services.
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <set>
#include <thread>

#include "platform/root/MachineRoot.h"
#include "platform/service/Service.h"
#include "platform/service/internal/ServiceDatabase.h"
#include "platform/service/internal/ServiceHandles.h"
#include "platform/service/internal/ServiceProcess.h"
#include "platform/service/internal/SystemdUnit.h"
#include "platform/system/SystemInfo.h"
#include "platform/win/LastError.h"

using namespace kv::platform::service;

namespace {

const size_t kMaxNameLength = 255;  // one file name
const DWORD kWriteRights = SERVICE_CHANGE_CONFIG | SERVICE_START | SERVICE_STOP | SERVICE_PAUSE_CONTINUE |
                           DELETE | WRITE_DAC | WRITE_OWNER;
const char* const kLocalSystem = "LocalSystem";

BOOL Fail(DWORD error) {
    SetLastError(error);
    return FALSE;
}

SC_HANDLE FailHandle(DWORD error) {
    SetLastError(error);
    return nullptr;
}

bool SameIgnoringCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && strncasecmp(a.c_str(), b.c_str(), a.size()) == 0;
}

bool ValidServiceName(LPCSTR name) {
    if (name == nullptr || *name == '\0' || *name == '.') return false;
    size_t length = std::strlen(name);
    if (length > kMaxNameLength) return false;
    for (const char* p = name; *p; ++p)
        if (*p == '/' || *p == '\\' || static_cast<unsigned char>(*p) < 0x20) return false;
    return true;
}

// "DOMAIN\user", ".\user", "user@domain" or a plain name: each part non-empty,
// none of the characters Windows refuses in account names.
bool ValidAccount(const std::string& account) {
    std::string user = account, domain;
    size_t slash = account.find('\\');
    if (slash != std::string::npos) {
        domain = account.substr(0, slash);
        user = account.substr(slash + 1);
        if (domain.empty()) return false;
    } else if (size_t at = account.find('@'); at != std::string::npos) {
        domain = account.substr(at + 1);
        user = account.substr(0, at);
        if (domain.empty()) return false;
    }
    if (user.empty() || user.size() > 104) return false;
    for (const std::string* part : {&user, &domain})
        for (char c : *part)
            if (static_cast<unsigned char>(c) < 0x20 || std::strchr("\"/\\[]:|<>+=;,?*@", c) != nullptr)
                return false;
    return true;
}

std::vector<std::string> MultiString(LPCSTR list) {
    std::vector<std::string> items;
    if (list == nullptr) return items;
    for (const char* p = list; *p; p += std::strlen(p) + 1) items.emplace_back(p);
    return items;
}

// Whether a service depending on deps would close a cycle through name.
bool ReachesName(const std::string& name, const std::vector<std::string>& deps, std::set<std::string>& seen) {
    for (const std::string& d : deps) {
        if (SameIgnoringCase(d, name)) return true;
        std::string key;
        for (char c : d) key += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (!seen.insert(key).second) continue;
        std::string folder = FindServiceFolder(d);
        ServiceConfig config;
        if (!folder.empty() && ReadConfig(folder, config) && ReachesName(name, config.dependencies, seen))
            return true;
    }
    return false;
}

void ToStatus(const ServiceState& state, DWORD serviceType, LPSERVICE_STATUS status) {
    status->dwServiceType = state.serviceType != 0 ? state.serviceType : serviceType;
    status->dwCurrentState = state.currentState;
    status->dwControlsAccepted = state.controlsAccepted;
    status->dwWin32ExitCode = state.win32ExitCode;
    status->dwServiceSpecificExitCode = state.serviceSpecificExitCode;
    status->dwCheckPoint = state.checkPoint;
    status->dwWaitHint = state.waitHint;
}

// The service a handle was opened for, checked for the access a call needs.
// Call it under the database lock when the caller writes.
struct Target {
    KvScHandle* handle = nullptr;
    std::string folder;
    ServiceConfig config;
    ServiceState state;
    bool gone = false;  // deleted and removed since the handle was opened
};

bool OpenTarget(SC_HANDLE service, DWORD needed, Target& target, bool settle) {
    target.handle = CheckHandle(service, KvScHandle::Kind::Service);
    if (target.handle == nullptr) return false;
    if ((target.handle->access & needed) != needed) {
        SetLastError(ERROR_ACCESS_DENIED);
        return false;
    }
    target.folder = FindServiceFolder(target.handle->name);
    if (target.folder.empty() || !ReadConfig(target.folder, target.config) ||
        target.config.id != target.handle->id) {
        target.gone = true;
        return true;
    }
    if (settle) target.gone = !SettleService(target.folder, target.config, target.state);
    else ReadState(target.folder, target.state);
    return true;
}

DWORD StartTimeoutMs() {
    const char* setting = std::getenv("KESTRAVA_SCM_START_TIMEOUT");
    if (setting != nullptr && *setting != '\0') return static_cast<DWORD>(std::strtoul(setting, nullptr, 10));
    return 30000;
}

struct StartContext {
    const std::string* folder;
    ServiceState* state;
};

bool RecordStartPending(pid_t pid, unsigned long long startTime, void* context) {
    auto* start = static_cast<StartContext*>(context);
    if (startTime == 0) return false;
    start->state->currentState = SERVICE_START_PENDING;
    start->state->controlsAccepted = 0;
    start->state->win32ExitCode = 0;
    start->state->serviceSpecificExitCode = 0;
    start->state->checkPoint = 0;
    start->state->waitHint = 2000;
    start->state->processId = pid;
    start->state->processStartTime = startTime;
    start->state->connected = false;
    return WriteState(*start->folder, *start->state);
}

void RecordStopped(const std::string& folder, DWORD exitCode) {
    DatabaseLock lock;
    ServiceState state;
    ReadState(folder, state);
    state.currentState = SERVICE_STOPPED;
    state.controlsAccepted = 0;
    state.checkPoint = 0;
    state.waitHint = 0;
    state.win32ExitCode = exitCode;
    state.processId = 0;
    state.processStartTime = 0;
    state.connected = false;
    WriteState(folder, state);
}

void SleepBriefly() { std::this_thread::sleep_for(std::chrono::milliseconds(2)); }

}  // namespace

SC_HANDLE OpenSCManagerA(LPCSTR machineName, LPCSTR databaseName, DWORD desiredAccess) {
    if (machineName != nullptr && *machineName != '\0') {
        const char* name = machineName;
        while (*name == '\\') ++name;
        char computer[64] = {};
        DWORD size = sizeof computer;
        GetComputerNameA(computer, &size);
        if (std::strcmp(name, ".") != 0 && strcasecmp(name, "localhost") != 0 && strcasecmp(name, computer) != 0)
            return FailHandle(RPC_S_SERVER_UNAVAILABLE);
    }
    if (databaseName != nullptr && strcasecmp(databaseName, SERVICES_ACTIVE_DATABASEA) != 0)
        return FailHandle(ERROR_DATABASE_DOES_NOT_EXIST);
    if (!EnsureDatabase()) return FailHandle(ERROR_ACCESS_DENIED);
    if ((desiredAccess & (SC_MANAGER_CREATE_SERVICE | SC_MANAGER_MODIFY_BOOT_CONFIG | SC_MANAGER_LOCK)) != 0 &&
        ::access(DatabaseFolder().c_str(), W_OK) != 0)
        return FailHandle(ERROR_ACCESS_DENIED);
    return NewHandle(KvScHandle::Kind::Manager, desiredAccess | SC_MANAGER_CONNECT, std::string(), std::string());
}

SC_HANDLE CreateServiceA(SC_HANDLE manager, LPCSTR serviceName, LPCSTR displayName, DWORD desiredAccess,
                         DWORD serviceType, DWORD startType, DWORD errorControl, LPCSTR binaryPathName,
                         LPCSTR loadOrderGroup, LPDWORD tagId, LPCSTR dependencies, LPCSTR serviceStartName,
                         LPCSTR password) {
    KvScHandle* scm = CheckHandle(manager, KvScHandle::Kind::Manager);
    if (scm == nullptr) return nullptr;
    if ((scm->access & SC_MANAGER_CREATE_SERVICE) == 0) return FailHandle(ERROR_ACCESS_DENIED);
    if (!ValidServiceName(serviceName)) return FailHandle(ERROR_INVALID_NAME);
    std::string display = displayName != nullptr && *displayName != '\0' ? displayName : serviceName;
    if (display.size() > kMaxNameLength) return FailHandle(ERROR_INVALID_NAME);

    // Only Win32 services run here; drivers and their start types do not.
    DWORD baseType = serviceType & ~SERVICE_INTERACTIVE_PROCESS;
    if (baseType != SERVICE_WIN32_OWN_PROCESS && baseType != SERVICE_WIN32_SHARE_PROCESS)
        return FailHandle(ERROR_INVALID_PARAMETER);
    if (startType != SERVICE_AUTO_START && startType != SERVICE_DEMAND_START && startType != SERVICE_DISABLED)
        return FailHandle(ERROR_INVALID_PARAMETER);
    if (errorControl > SERVICE_ERROR_CRITICAL) return FailHandle(ERROR_INVALID_PARAMETER);
    if (binaryPathName == nullptr || *binaryPathName == '\0') return FailHandle(ERROR_INVALID_PARAMETER);
    if (tagId != nullptr) return FailHandle(ERROR_INVALID_PARAMETER);  // tags order drivers only

    ServiceConfig config;
    config.name = serviceName;
    config.id = NewServiceId();
    config.displayName = display;
    config.binaryPath = binaryPathName;
    config.serviceType = serviceType;
    config.startType = startType;
    config.errorControl = errorControl;
    config.loadOrderGroup = loadOrderGroup != nullptr ? loadOrderGroup : "";
    config.dependencies = MultiString(dependencies);
    std::string secret;
    if (serviceStartName != nullptr && *serviceStartName != '\0') {
        if (!ValidAccount(serviceStartName)) return FailHandle(ERROR_INVALID_SERVICE_ACCOUNT);
        config.account = serviceStartName;
        // LocalSystem has no password; another account keeps the one given.
        if (password != nullptr && !SameIgnoringCase(config.account, kLocalSystem)) secret = password;
    } else {
        config.account = kLocalSystem;
    }

    DatabaseLock lock;
    if (!lock.Held()) return FailHandle(ERROR_ACCESS_DENIED);
    for (const std::string& folder : ListServiceFolders()) {
        ServiceConfig other;
        ServiceState state;
        if (!ReadConfig(folder, other)) continue;
        if (SameIgnoringCase(other.name, config.name)) {
            // A stopped service marked for deletion goes now, and the name is free.
            if (!SettleService(folder, other, state)) continue;
            return FailHandle(other.deletePending ? ERROR_SERVICE_MARKED_FOR_DELETE : ERROR_SERVICE_EXISTS);
        }
    }
    for (const std::string& folder : ListServiceFolders()) {
        ServiceConfig other;
        if (!ReadConfig(folder, other)) continue;
        if (SameIgnoringCase(other.displayName, display) || SameIgnoringCase(other.name, display) ||
            SameIgnoringCase(other.displayName, config.name))
            return FailHandle(ERROR_DUPLICATE_SERVICE_NAME);
    }
    std::set<std::string> seen;
    if (ReachesName(config.name, config.dependencies, seen)) return FailHandle(ERROR_CIRCULAR_DEPENDENCY);

    ServiceState state;
    state.serviceType = serviceType;
    if (!CreateServiceFolder(config, state, secret)) return FailHandle(ERROR_ACCESS_DENIED);
    InstallUnitFor(config);
    return NewHandle(KvScHandle::Kind::Service, desiredAccess, config.name, config.id);
}

SC_HANDLE OpenServiceA(SC_HANDLE manager, LPCSTR serviceName, DWORD desiredAccess) {
    if (CheckHandle(manager, KvScHandle::Kind::Manager) == nullptr) return nullptr;
    if (serviceName == nullptr || *serviceName == '\0' || std::strlen(serviceName) > kMaxNameLength)
        return FailHandle(ERROR_INVALID_NAME);
    if (!ValidServiceName(serviceName)) return FailHandle(ERROR_SERVICE_DOES_NOT_EXIST);
    std::string folder = FindServiceFolder(serviceName);
    ServiceConfig config;
    if (folder.empty() || !ReadConfig(folder, config)) return FailHandle(ERROR_SERVICE_DOES_NOT_EXIST);
    if ((desiredAccess & config.deniedAccess) != 0) return FailHandle(ERROR_ACCESS_DENIED);
    if ((desiredAccess & kWriteRights) != 0 && ::access(folder.c_str(), W_OK) != 0)
        return FailHandle(ERROR_ACCESS_DENIED);
    return NewHandle(KvScHandle::Kind::Service, desiredAccess, config.name, config.id);
}

BOOL CloseServiceHandle(SC_HANDLE handle) { return ReleaseHandle(handle) ? TRUE : FALSE; }

BOOL DeleteService(SC_HANDLE service) {
    DatabaseLock lock;
    Target target;
    if (!OpenTarget(service, DELETE, target, true)) return FALSE;
    if (target.gone || target.config.deletePending) return Fail(ERROR_SERVICE_MARKED_FOR_DELETE);
    target.config.deletePending = true;
    if (!WriteConfig(target.folder, target.config)) return Fail(ERROR_ACCESS_DENIED);
    SettleService(target.folder, target.config, target.state);
    return TRUE;
}

BOOL StartServiceA(SC_HANDLE service, DWORD argc, LPCSTR* argv) {
    if (argc > 0 && argv == nullptr) return Fail(ERROR_INVALID_PARAMETER);
    std::string folder;
    pid_t pid = 0;
    {
        DatabaseLock lock;
        Target target;
        if (!OpenTarget(service, SERVICE_START, target, true)) return FALSE;
        if (target.gone || target.config.deletePending) return Fail(ERROR_SERVICE_MARKED_FOR_DELETE);
        if (target.config.startType == SERVICE_DISABLED) return Fail(ERROR_SERVICE_DISABLED);
        if (target.state.currentState != SERVICE_STOPPED) return Fail(ERROR_SERVICE_ALREADY_RUNNING);
        LaunchRequest request;
        if (!ParseBinaryPath(target.config.binaryPath, request.line)) return Fail(ERROR_FILE_NOT_FOUND);
        request.extraEnvironment = {"KESTRAVA_SCM_SERVICE=" + target.config.name,
                                    "KESTRAVA_ROOT=" + kv::platform::MachineRoot()};
        request.logPath = target.folder + "/service.log";
        folder = target.folder;
        target.state.arguments.clear();
        for (DWORD i = 0; i < argc; ++i) target.state.arguments.emplace_back(argv[i] != nullptr ? argv[i] : "");
        target.state.serviceType = target.config.serviceType;
        StartContext context{&folder, &target.state};
        DWORD error = LaunchDetached(request, &RecordStartPending, &context, pid);
        if (error != ERROR_SUCCESS) {
            if (target.state.processId != 0) {
                // The process was recorded before its program failed to run.
                target.state = ServiceState();
                target.state.serviceType = target.config.serviceType;
                target.state.win32ExitCode = error;
                WriteState(folder, target.state);
            }
            return Fail(error);
        }
    }

    // The call returns once the process has reached the dispatcher, as the
    // manager's does.
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(StartTimeoutMs());
    for (;;) {
        ServiceState state;
        if (!ReadState(folder, state) || state.connected) return TRUE;
        if (state.processId != pid || !RecordedProcessAlive(state)) {
            ServiceConfig config;
            DatabaseLock lock;
            SettleService(folder, config, state);
            return Fail(ERROR_SERVICE_REQUEST_TIMEOUT);
        }
        if (std::chrono::steady_clock::now() >= deadline) break;
        SleepBriefly();
    }
    ::kill(pid, SIGKILL);
    RecordStopped(folder, ERROR_SERVICE_REQUEST_TIMEOUT);
    return Fail(ERROR_SERVICE_REQUEST_TIMEOUT);
}

BOOL ControlService(SC_HANDLE service, DWORD control, LPSERVICE_STATUS status) {
    if (status == nullptr) return Fail(ERROR_INVALID_PARAMETER);
    DWORD needed = 0;
    switch (control) {
        case SERVICE_CONTROL_STOP: needed = SERVICE_STOP; break;
        case SERVICE_CONTROL_INTERROGATE: needed = SERVICE_INTERROGATE; break;
        case SERVICE_CONTROL_PAUSE:
        case SERVICE_CONTROL_CONTINUE: needed = SERVICE_PAUSE_CONTINUE; break;
        default:
            if (control < 128 || control > 255) return Fail(ERROR_INVALID_PARAMETER);
            needed = SERVICE_USER_DEFINED_CONTROL;
    }
    DatabaseLock lock;
    Target target;
    if (!OpenTarget(service, needed, target, true)) return FALSE;
    if (target.gone) return Fail(ERROR_SERVICE_NOT_ACTIVE);
    ToStatus(target.state, target.config.serviceType, status);
    if (target.state.currentState == SERVICE_STOPPED) return Fail(ERROR_SERVICE_NOT_ACTIVE);
    if (control == SERVICE_CONTROL_INTERROGATE) return TRUE;
    // Only the stop control has a way into the service's process.
    if (control != SERVICE_CONTROL_STOP) return Fail(ERROR_INVALID_SERVICE_CONTROL);
    if (target.state.currentState == SERVICE_STOP_PENDING) return Fail(ERROR_SERVICE_CANNOT_ACCEPT_CTRL);
    if ((target.state.controlsAccepted & SERVICE_ACCEPT_STOP) == 0)
        return Fail(target.state.currentState == SERVICE_START_PENDING ? ERROR_SERVICE_CANNOT_ACCEPT_CTRL
                                                                       : ERROR_INVALID_SERVICE_CONTROL);

    // Recorded before the signal goes, so that the service's own reports,
    // which wait for this lock, come after it.
    ServiceState before = target.state;
    target.state.currentState = SERVICE_STOP_PENDING;
    target.state.checkPoint = 0;
    WriteState(target.folder, target.state);
    if (::kill(target.state.processId, SIGTERM) != 0) {
        DWORD error = errno == EPERM ? ERROR_ACCESS_DENIED : ERROR_SERVICE_NOT_ACTIVE;
        WriteState(target.folder, before);
        if (error == ERROR_SERVICE_NOT_ACTIVE) SettleService(target.folder, target.config, before);
        ToStatus(before, target.config.serviceType, status);
        return Fail(error);
    }
    ToStatus(target.state, target.config.serviceType, status);
    return TRUE;
}

BOOL QueryServiceStatus(SC_HANDLE service, LPSERVICE_STATUS status) {
    if (status == nullptr) return Fail(ERROR_INVALID_PARAMETER);
    Target target;
    if (!OpenTarget(service, SERVICE_QUERY_STATUS, target, false)) return FALSE;
    bool unsettled = !target.gone && ((target.state.currentState != SERVICE_STOPPED &&
                                       !RecordedProcessAlive(target.state)) ||
                                      (target.config.deletePending && target.state.currentState == SERVICE_STOPPED));
    if (unsettled) {
        DatabaseLock lock;
        if (!OpenTarget(service, SERVICE_QUERY_STATUS, target, true)) return FALSE;
    }
    if (target.gone) {
        // A deleted service whose handle is still open reads as stopped.
        ServiceState stopped;
        stopped.win32ExitCode = target.state.win32ExitCode;
        ToStatus(stopped, target.config.serviceType != 0 ? target.config.serviceType : SERVICE_WIN32_OWN_PROCESS,
                 status);
        return TRUE;
    }
    ToStatus(target.state, target.config.serviceType, status);
    return TRUE;
}

BOOL QueryServiceConfigA(SC_HANDLE service, LPQUERY_SERVICE_CONFIGA config, DWORD bufferSize,
                         LPDWORD bytesNeeded) {
    if (bytesNeeded == nullptr) return Fail(ERROR_INVALID_PARAMETER);
    Target target;
    if (!OpenTarget(service, SERVICE_QUERY_CONFIG, target, false)) return FALSE;
    if (target.gone) return Fail(ERROR_SERVICE_MARKED_FOR_DELETE);
    const ServiceConfig& c = target.config;
    size_t dependencyBytes = 1;
    for (const std::string& d : c.dependencies) dependencyBytes += d.size() + 1;
    if (c.dependencies.empty()) dependencyBytes = 2;
    size_t needed = sizeof(QUERY_SERVICE_CONFIGA) + c.binaryPath.size() + 1 + c.loadOrderGroup.size() + 1 +
                    dependencyBytes + c.account.size() + 1 + c.displayName.size() + 1;
    *bytesNeeded = static_cast<DWORD>(needed);
    if (config == nullptr || bufferSize < needed) return Fail(ERROR_INSUFFICIENT_BUFFER);
    char* p = reinterpret_cast<char*>(config + 1);
    auto place = [&p](const std::string& text) {
        char* start = p;
        std::memcpy(p, text.c_str(), text.size() + 1);
        p += text.size() + 1;
        return start;
    };
    config->dwServiceType = c.serviceType;
    config->dwStartType = c.startType;
    config->dwErrorControl = c.errorControl;
    config->dwTagId = 0;
    config->lpBinaryPathName = place(c.binaryPath);
    config->lpLoadOrderGroup = place(c.loadOrderGroup);
    config->lpDependencies = p;
    for (const std::string& d : c.dependencies) place(d);
    *p++ = '\0';
    if (c.dependencies.empty()) *p++ = '\0';
    config->lpServiceStartName = place(c.account);
    config->lpDisplayName = place(c.displayName);
    return TRUE;
}

BOOL ChangeServiceConfig2A(SC_HANDLE service, DWORD infoLevel, LPVOID info) {
    if (infoLevel != SERVICE_CONFIG_DESCRIPTION) return Fail(ERROR_INVALID_LEVEL);
    if (info == nullptr) return Fail(ERROR_INVALID_PARAMETER);
    DatabaseLock lock;
    Target target;
    if (!OpenTarget(service, SERVICE_CHANGE_CONFIG, target, false)) return FALSE;
    if (target.gone || target.config.deletePending) return Fail(ERROR_SERVICE_MARKED_FOR_DELETE);
    const auto* description = static_cast<const SERVICE_DESCRIPTIONA*>(info);
    if (description->lpDescription == nullptr) return TRUE;
    target.config.description = description->lpDescription;
    return WriteConfig(target.folder, target.config) ? TRUE : Fail(ERROR_ACCESS_DENIED);
}

BOOL QueryServiceConfig2A(SC_HANDLE service, DWORD infoLevel, LPBYTE buffer, DWORD bufferSize,
                          LPDWORD bytesNeeded) {
    if (bytesNeeded == nullptr) return Fail(ERROR_INVALID_PARAMETER);
    if (infoLevel != SERVICE_CONFIG_DESCRIPTION) return Fail(ERROR_INVALID_LEVEL);
    Target target;
    if (!OpenTarget(service, SERVICE_QUERY_CONFIG, target, false)) return FALSE;
    if (target.gone) return Fail(ERROR_SERVICE_MARKED_FOR_DELETE);
    const std::string& text = target.config.description;
    size_t needed = sizeof(SERVICE_DESCRIPTIONA) + (text.empty() ? 0 : text.size() + 1);
    *bytesNeeded = static_cast<DWORD>(needed);
    if (buffer == nullptr || bufferSize < needed) return Fail(ERROR_INSUFFICIENT_BUFFER);
    auto* description = reinterpret_cast<SERVICE_DESCRIPTIONA*>(buffer);
    description->lpDescription = nullptr;
    if (!text.empty()) {
        char* p = reinterpret_cast<char*>(description + 1);
        std::memcpy(p, text.c_str(), text.size() + 1);
        description->lpDescription = p;
    }
    return TRUE;
}
