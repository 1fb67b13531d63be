#include "engine/alert/AlertEvent.h"

#include "common/DebugLog.h"
#include "common/Settings.h"
#include "engine/run/CheckOutcome.h"
#include "platform/eventlog/EventLog.h"
#include "platform/win/LastError.h"

DWORD ReportAlertEvent(WORD category, DWORD eventId, WORD stringCount, LPCSTR* strings) {
    CountReportedItem(category);
    HANDLE source = RegisterEventSourceA(nullptr, "Tsl");
    if (source == nullptr) return GetLastError();
    DWORD result = 0;
    if (!ReportEventA(source, EVENTLOG_INFORMATION_TYPE, category, eventId, nullptr, stringCount, 0, strings,
                      nullptr))
        result = GetLastError();
    if (!DeregisterEventSource(source) && result == 0) result = GetLastError();
    return result;
}

LONG CreateNewIncidentID() {
    WriteDebugLog(6, " >> CreateNewIncidentID");
    DWORD id = 0;
    try {
        ReadValueFromRegistry("INCIDENTID", &id, sizeof id);
        ++id;
        SaveValueToRegistry("INCIDENTID", REG_DWORD, &id, sizeof id);
    } catch (...) {
        WriteDebugLog(1, "Could not read the IncidentID from the registry.");
        id = 0;
    }
    WriteDebugLog(6, " << CreateNewIncidentID");
    return static_cast<LONG>(id);
}
