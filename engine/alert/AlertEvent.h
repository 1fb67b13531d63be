// Event-log records of reported items, and their incident ids.
#pragma once

#include "platform/win/WinTypes.h"

#define ALERT_CATEGORY_CHANGED 1
#define ALERT_CATEGORY_ADDED 2
#define ALERT_CATEGORY_REMOVED 3
#define ALERT_EVENT_CHANGED 0x41001F40u
#define ALERT_EVENT_ADDED 0x41001770u
#define ALERT_EVENT_REMOVED 0x41000FA0u

// One information record of source "Tsl"; 0, or the system error code of the
// call that failed.
DWORD ReportAlertEvent(WORD category, DWORD eventId, WORD stringCount, LPCSTR* strings);

// The next incident id (registry INCIDENTID plus one, written back); the
// first ever is 1.
LONG CreateNewIncidentID();
