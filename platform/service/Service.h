// The service control manager: the service database with its create, open,
// start, control, query and delete calls, and the dispatcher side a service
// program uses (StartServiceCtrlDispatcher, RegisterServiceCtrlHandler,
// SetServiceStatus).
//
// A started service is a detached process of its own session, started from
// its binary path with KESTRAVA_SCM_SERVICE=<name> in its environment; only
// such a process, and only the one the database recorded, reaches the
// dispatcher. The stop control reaches it as SIGTERM, which the dispatcher
// turns into a call of the control handler on the dispatcher thread (the
// thread that called StartServiceCtrlDispatcherA) while service main runs on
// a thread of its own.
#pragma once

#include "platform/win/WinTypes.h"

struct KvScHandle;
typedef KvScHandle* SC_HANDLE;
struct KvServiceStatusHandle;
typedef KvServiceStatusHandle* SERVICE_STATUS_HANDLE;

typedef void (*LPSERVICE_MAIN_FUNCTIONA)(DWORD argc, LPSTR* argv);
typedef void (*LPHANDLER_FUNCTION)(DWORD control);

struct SERVICE_STATUS {
    DWORD dwServiceType;
    DWORD dwCurrentState;
    DWORD dwControlsAccepted;
    DWORD dwWin32ExitCode;
    DWORD dwServiceSpecificExitCode;
    DWORD dwCheckPoint;
    DWORD dwWaitHint;
};
typedef SERVICE_STATUS* LPSERVICE_STATUS;

struct SERVICE_TABLE_ENTRYA {
    LPSTR lpServiceName;
    LPSERVICE_MAIN_FUNCTIONA lpServiceProc;
};

struct SERVICE_DESCRIPTIONA {
    LPSTR lpDescription;
};

struct QUERY_SERVICE_CONFIGA {
    DWORD dwServiceType;
    DWORD dwStartType;
    DWORD dwErrorControl;
    LPSTR lpBinaryPathName;
    LPSTR lpLoadOrderGroup;
    DWORD dwTagId;
    LPSTR lpDependencies;
    LPSTR lpServiceStartName;
    LPSTR lpDisplayName;
};
typedef QUERY_SERVICE_CONFIGA* LPQUERY_SERVICE_CONFIGA;

// Standard access rights.
#ifndef DELETE
#define DELETE 0x00010000u
#endif
#define READ_CONTROL 0x00020000u
#define WRITE_DAC 0x00040000u
#define WRITE_OWNER 0x00080000u
#define STANDARD_RIGHTS_REQUIRED 0x000F0000u

// Access to the manager.
#define SC_MANAGER_CONNECT 0x0001u
#define SC_MANAGER_CREATE_SERVICE 0x0002u
#define SC_MANAGER_ENUMERATE_SERVICE 0x0004u
#define SC_MANAGER_LOCK 0x0008u
#define SC_MANAGER_QUERY_LOCK_STATUS 0x0010u
#define SC_MANAGER_MODIFY_BOOT_CONFIG 0x0020u
#define SC_MANAGER_ALL_ACCESS 0x000F003Fu
#define SERVICES_ACTIVE_DATABASEA "ServicesActive"

// Access to a service.
#define SERVICE_QUERY_CONFIG 0x0001u
#define SERVICE_CHANGE_CONFIG 0x0002u
#define SERVICE_QUERY_STATUS 0x0004u
#define SERVICE_ENUMERATE_DEPENDENTS 0x0008u
#define SERVICE_START 0x0010u
#define SERVICE_STOP 0x0020u
#define SERVICE_PAUSE_CONTINUE 0x0040u
#define SERVICE_INTERROGATE 0x0080u
#define SERVICE_USER_DEFINED_CONTROL 0x0100u
#define SERVICE_ALL_ACCESS 0x000F01FFu

// Service types.
#define SERVICE_KERNEL_DRIVER 0x00000001u
#define SERVICE_FILE_SYSTEM_DRIVER 0x00000002u
#define SERVICE_WIN32_OWN_PROCESS 0x00000010u
#define SERVICE_WIN32_SHARE_PROCESS 0x00000020u
#define SERVICE_WIN32 0x00000030u
#define SERVICE_INTERACTIVE_PROCESS 0x00000100u

// Start types.
#define SERVICE_BOOT_START 0x00000000u
#define SERVICE_SYSTEM_START 0x00000001u
#define SERVICE_AUTO_START 0x00000002u
#define SERVICE_DEMAND_START 0x00000003u
#define SERVICE_DISABLED 0x00000004u

// Error control.
#define SERVICE_ERROR_IGNORE 0x00000000u
#define SERVICE_ERROR_NORMAL 0x00000001u
#define SERVICE_ERROR_SEVERE 0x00000002u
#define SERVICE_ERROR_CRITICAL 0x00000003u

// Current states.
#define SERVICE_STOPPED 0x00000001u
#define SERVICE_START_PENDING 0x00000002u
#define SERVICE_STOP_PENDING 0x00000003u
#define SERVICE_RUNNING 0x00000004u
#define SERVICE_CONTINUE_PENDING 0x00000005u
#define SERVICE_PAUSE_PENDING 0x00000006u
#define SERVICE_PAUSED 0x00000007u

// Controls, and the controls a service accepts.
#define SERVICE_CONTROL_STOP 0x00000001u
#define SERVICE_CONTROL_PAUSE 0x00000002u
#define SERVICE_CONTROL_CONTINUE 0x00000003u
#define SERVICE_CONTROL_INTERROGATE 0x00000004u
#define SERVICE_CONTROL_SHUTDOWN 0x00000005u
#define SERVICE_ACCEPT_STOP 0x00000001u
#define SERVICE_ACCEPT_PAUSE_CONTINUE 0x00000002u
#define SERVICE_ACCEPT_SHUTDOWN 0x00000004u

#define SERVICE_CONFIG_DESCRIPTION 1u
#define SERVICE_NO_CHANGE 0xFFFFFFFFu

// Errors of the service calls.
#define ERROR_INVALID_LEVEL 124L
#define ERROR_BAD_EXE_FORMAT 193L
#define ERROR_INVALID_SERVICE_CONTROL 1052L
#define ERROR_SERVICE_REQUEST_TIMEOUT 1053L
#define ERROR_SERVICE_NO_THREAD 1054L
#define ERROR_SERVICE_DATABASE_LOCKED 1055L
#define ERROR_SERVICE_ALREADY_RUNNING 1056L
#define ERROR_INVALID_SERVICE_ACCOUNT 1057L
#define ERROR_SERVICE_DISABLED 1058L
#define ERROR_CIRCULAR_DEPENDENCY 1059L
#define ERROR_SERVICE_DOES_NOT_EXIST 1060L
#define ERROR_SERVICE_CANNOT_ACCEPT_CTRL 1061L
#define ERROR_SERVICE_NOT_ACTIVE 1062L
#define ERROR_FAILED_SERVICE_CONTROLLER_CONNECT 1063L
#define ERROR_DATABASE_DOES_NOT_EXIST 1065L
#define ERROR_SERVICE_SPECIFIC_ERROR 1066L
#define ERROR_PROCESS_ABORTED 1067L
#define ERROR_SERVICE_MARKED_FOR_DELETE 1072L
#define ERROR_SERVICE_EXISTS 1073L
#define ERROR_DUPLICATE_SERVICE_NAME 1078L
#define ERROR_SERVICE_NOT_IN_EXE 1083L
#define RPC_S_SERVER_UNAVAILABLE 1722L

// The manager of the local machine (machineName null, empty or this
// computer's name) and its one database (null or "ServicesActive").
SC_HANDLE OpenSCManagerA(LPCSTR machineName, LPCSTR databaseName, DWORD desiredAccess);
// Creates a Win32 service. The account ("DOMAIN\user", ".\user", "user@domain"
// or null for LocalSystem) is stored as given, letter case included; the
// password only when one is given, in a file only the owner can read. The
// process still runs as the caller: the account is recorded, not assumed.
SC_HANDLE CreateServiceA(SC_HANDLE manager, LPCSTR serviceName, LPCSTR displayName,
                         DWORD desiredAccess, DWORD serviceType, DWORD startType,
                         DWORD errorControl, LPCSTR binaryPathName, LPCSTR loadOrderGroup,
                         LPDWORD tagId, LPCSTR dependencies, LPCSTR serviceStartName,
                         LPCSTR password);
// Names are matched without regard to case.
SC_HANDLE OpenServiceA(SC_HANDLE manager, LPCSTR serviceName, DWORD desiredAccess);
BOOL CloseServiceHandle(SC_HANDLE handle);
// Marks the service for deletion; it goes as soon as it is stopped (at once
// when it is stopped already).
BOOL DeleteService(SC_HANDLE service);
// Starts the binary path as a detached process and returns when that process
// has reached the dispatcher (state start pending, or what the service has
// reported since); ERROR_SERVICE_REQUEST_TIMEOUT when it ends or takes 30
// seconds without reaching it. Arguments are handed to service main after
// the service name.
BOOL StartServiceA(SC_HANDLE service, DWORD argc, LPCSTR* argv);
// SERVICE_CONTROL_STOP sends SIGTERM to the service's process and records
// stop pending; SERVICE_CONTROL_INTERROGATE returns the current status.
BOOL ControlService(SC_HANDLE service, DWORD control, LPSERVICE_STATUS status);
// A process that ended without reporting stopped shows as stopped with
// ERROR_PROCESS_ABORTED.
BOOL QueryServiceStatus(SC_HANDLE service, LPSERVICE_STATUS status);
BOOL QueryServiceConfigA(SC_HANDLE service, LPQUERY_SERVICE_CONFIGA config, DWORD bufferSize,
                         LPDWORD bytesNeeded);
// Level SERVICE_CONFIG_DESCRIPTION only (SERVICE_DESCRIPTIONA): a null text
// keeps the description, an empty one removes it.
BOOL ChangeServiceConfig2A(SC_HANDLE service, DWORD infoLevel, LPVOID info);
BOOL QueryServiceConfig2A(SC_HANDLE service, DWORD infoLevel, LPBYTE buffer, DWORD bufferSize,
                          LPDWORD bytesNeeded);

// Runs the service of the (null-terminated) table: service main on a thread
// of its own, controls on the calling thread; returns when service main has
// returned and the service has reported stopped. Fails with
// ERROR_FAILED_SERVICE_CONTROLLER_CONNECT in a process the manager did not
// start. Call it before the program starts threads of its own: SIGTERM is
// blocked in service main's thread and in every thread it starts.
BOOL StartServiceCtrlDispatcherA(const SERVICE_TABLE_ENTRYA* serviceTable);
SERVICE_STATUS_HANDLE RegisterServiceCtrlHandlerA(LPCSTR serviceName, LPHANDLER_FUNCTION handler);
BOOL SetServiceStatus(SERVICE_STATUS_HANDLE statusHandle, LPSERVICE_STATUS status);
