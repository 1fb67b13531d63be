// How the service database lies on disk. Each service is a folder
// $KESTRAVA_ROOT/services/<name>/ (the name as created, found again without
// regard to case) holding
//   config    Name, Id, DisplayName, BinaryPathName, ServiceType (hex),
//             StartType, ErrorControl, LoadOrderGroup, Dependency (one line
//             each), ServiceStartName (the account, "LocalSystem" when none),
//             Description, DeletePending (0/1), DeniedAccess (hex, when set)
//   status    ServiceType, CurrentState, ControlsAccepted, Win32ExitCode,
//             ServiceSpecificExitCode, CheckPoint, WaitHint, ProcessId,
//             ProcessStartTime (clock ticks after boot), Connected (0/1: the
//             process reached the dispatcher), Argument (one line each)
//   password  the password, only when one was given (mode 0600)
//   service.log  standard output and error of the service's process
// config and status are "Key=value" lines, "\" and line ends escaped as
// "\\", "\n" and "\r". Every file is replaced by rename, so a reader never
// sees half of one; a change that reads before it writes holds the database
// lock (flock on services/.lock), which every process shares. Names starting
// with "." in the folder are the lock and folders being made or removed.
#pragma once

#ifndef KV_PLATFORM_INTERNAL
#error "platform internals are not for use outside platform/"
#endif

#include <sys/types.h>

#include <string>
#include <vector>

#include "platform/win/WinTypes.h"

namespace kv::platform::service {

struct ServiceConfig {
    std::string name;  // as created
    std::string id;    // tells a recreated service of the same name from the old one
    std::string displayName;
    std::string binaryPath;
    DWORD serviceType = 0;
    DWORD startType = 0;
    DWORD errorControl = 0;
    std::string loadOrderGroup;
    std::vector<std::string> dependencies;
    std::string account;  // empty: LocalSystem
    std::string description;
    bool deletePending = false;
    DWORD deniedAccess = 0;  // access rights OpenService refuses (a stand-in for the service's security)
};

struct ServiceState {
    DWORD serviceType = 0;
    DWORD currentState = 1;  // SERVICE_STOPPED
    DWORD controlsAccepted = 0;
    DWORD win32ExitCode = 0;
    DWORD serviceSpecificExitCode = 0;
    DWORD checkPoint = 0;
    DWORD waitHint = 0;
    pid_t processId = 0;
    unsigned long long processStartTime = 0;  // clock ticks after boot, from /proc/<pid>/stat
    bool connected = false;                   // the process has reached the dispatcher
    std::vector<std::string> arguments;       // of the last start
};

// RAII: the database lock, exclusive, held for a read-modify-write.
class DatabaseLock {
public:
    DatabaseLock();
    ~DatabaseLock();
    DatabaseLock(const DatabaseLock&) = delete;
    DatabaseLock& operator=(const DatabaseLock&) = delete;
    bool Held() const { return m_fd >= 0; }

private:
    int m_fd = -1;
};

std::string DatabaseFolder();
// Creates the database folder when missing; false when it cannot.
bool EnsureDatabase();
// The folder of a service, found without regard to case; empty when none.
std::string FindServiceFolder(const std::string& name);
std::vector<std::string> ListServiceFolders();

bool ReadConfig(const std::string& folder, ServiceConfig& config);
bool ReadState(const std::string& folder, ServiceState& state);
bool WriteConfig(const std::string& folder, const ServiceConfig& config);
bool WriteState(const std::string& folder, const ServiceState& state);
bool ReadPassword(const std::string& folder, std::string& password);
bool WritePassword(const std::string& folder, const std::string& password);
// A new service folder, made complete beside the database and renamed into it.
bool CreateServiceFolder(const ServiceConfig& config, const ServiceState& state,
                         const std::string& password);
void RemoveServiceFolder(const std::string& folder);

// Whether the recorded process still runs (not a zombie, same start time).
bool RecordedProcessAlive(const ServiceState& state);
// Under the database lock: a service whose process ended without reporting
// stopped is recorded stopped (ERROR_PROCESS_ABORTED), and a stopped service
// marked for deletion is removed. Returns false when the service is gone.
bool SettleService(const std::string& folder, ServiceConfig& config, ServiceState& state);

// Makes OpenService refuse the given access rights for a service, as a
// security descriptor denying them would (tests use it).
bool SetServiceDeniedAccess(const std::string& name, DWORD deniedAccess);

std::string NewServiceId();

}  // namespace kv::platform::service
