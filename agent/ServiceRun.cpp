#include "agent/ServiceRun.h"

#include "agent/EngineBinding.h"
#include "agent/MessageTexts.h"
#include "agent/ServiceModule.h"
#include "agent/SettingsChangeWait.h"
#include "common/DebugLog.h"
#include "common/Settings.h"
#include "platform/sync/Event.h"

namespace {

const UINT kTextCheckFailed = 10025;

// Until the stop event is signalled: every pass refreshes the log settings
// and STARTNOW; a request is cleared before its check runs, so one written
// during the check is seen at the first pass after it. Between passes the
// loop sleeps until the settings key changes: the watch is armed before the
// settings are read, so a change can never fall between the read and the
// wait. The service's own write of STARTNOW sets off the watch it has just
// armed, so every check is followed by one more pass, however many values
// the engine wrote meanwhile.
void PollForRequests(const EngineBinding& engine, HANDLE stopEvent) {
    CSettingsChangeWait changes;
    for (;;) {
        if (changes.WaitForStop(stopEvent)) break;
        g_nFirstPass.store(1, std::memory_order_relaxed);
        changes.Arm();
        GetDebugSettingsFromRegistry();
        if (g_dwStartNow == 0) continue;
        g_dwStartNow = 0;
        SaveValueToRegistry("STARTNOW", REG_DWORD, &g_dwStartNow, sizeof g_dwStartNow);
        HRESULT result = engine.CheckFiles(&g_lStopFlag);
        if (result == E_FAIL || result == S_FALSE) {
            ShowText(kTextCheckFailed, SERVICE_ERROR_BOX);
            break;
        }
    }
}

}  // namespace

void ServiceMain(DWORD, LPSTR*) {
    g_ServiceModule.SetStartPending();
    if (!g_ServiceModule.RegisterHandler(&ServiceHandler)) return;
    g_ServiceModule.ReportStatus(SERVICE_START_PENDING);
    RunService();
    g_ServiceModule.ReportStatus(SERVICE_STOPPED);
}

void ServiceHandler(DWORD control) {
    if (control == SERVICE_CONTROL_STOP) g_ServiceModule.OnStop();
}

void RunService() {
    GetDebugSettingsFromRegistry();
    if (g_ServiceModule.Served()) g_ServiceModule.ReportRunningUnlessStopping();

    EngineBinding engine;
    if (!LoadEngine(engine)) return;

    SetStopFlag(0);
    if (!g_ServiceModule.CreateStopEvent()) {
        // Without the event no stop control could reach the loop.
        WriteDebugLog(1, "Service control event could not be created");
    } else {
        WriteDebugLog(3, "Service control event was created");
        if (g_ServiceModule.Active()) {
            HRESULT result = engine.InitCore();
            if (FAILED(result)) WriteDebugLogF(1, "InitCore failed with code 0x%08X", static_cast<unsigned>(result));
            PollForRequests(engine, g_ServiceModule.StopEvent());
        }
    }

    engine.UnInit();
    FreeEngine(engine);
    g_ServiceModule.CloseStopEvent();
    WriteDebugLog(7, "Service stopped");
}
