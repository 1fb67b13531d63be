// The event log: RegisterEventSource, ReportEvent and DeregisterEventSource.
// Records go to the Application log, $KESTRAVA_ROOT/eventlog/Application.log,
// one JSON line each (see EventRecord.h), and to the system log under the
// source's name with the text rendered from the source's message file.
#pragma once

#include "platform/win/WinTypes.h"

typedef void* PSID;

#define EVENTLOG_SUCCESS 0x0000u
#define EVENTLOG_ERROR_TYPE 0x0001u
#define EVENTLOG_WARNING_TYPE 0x0002u
#define EVENTLOG_INFORMATION_TYPE 0x0004u
#define EVENTLOG_AUDIT_SUCCESS 0x0008u
#define EVENTLOG_AUDIT_FAILURE 0x0010u

#ifndef ERROR_WRITE_FAULT
#define ERROR_WRITE_FAULT 29L
#endif
#ifndef ERROR_LOG_FILE_FULL
#define ERROR_LOG_FILE_FULL 1502L
#endif
#ifndef RPC_S_SERVER_UNAVAILABLE
#define RPC_S_SERVER_UNAVAILABLE 1722L
#endif

// serverName null, empty, "." or this computer's name is the local computer;
// any other computer fails with RPC_S_SERVER_UNAVAILABLE. A source that is not
// registered can still report (its records have no message text), as on
// Windows.
HANDLE RegisterEventSourceA(LPCSTR serverName, LPCSTR sourceName);

// Writes one record. The strings are kept byte for byte; userSid is not
// recorded. Fails with ERROR_INVALID_HANDLE for a handle that is not an open
// event source and ERROR_INVALID_PARAMETER for missing strings or data.
BOOL ReportEventA(HANDLE eventLog, WORD type, WORD category, DWORD eventId, PSID userSid,
                  WORD numStrings, DWORD dataSize, LPCSTR* strings, LPVOID rawData);

BOOL DeregisterEventSource(HANDLE eventLog);
