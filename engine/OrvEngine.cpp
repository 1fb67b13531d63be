#include "engine/OrvEngine.h"

#include "common/DebugLog.h"
#include "engine/run/CheckOutcome.h"
#include "engine/run/CheckRun.h"
#include "platform/net/Winsock.h"

namespace {
bool g_socketsStarted = false;
}

HRESULT CheckFiles(LONG* stopFlag) { return RecordCheckOutcome(stopFlag, RunCheck); }

HRESULT InitCore() {
    if (g_socketsStarted) return S_OK;
    WSADATA data {};
    if (WSAStartup(MAKEWORD(1, 1), &data) != 0 || data.wVersion != MAKEWORD(1, 1)) {
        WSACleanup();
        WriteDebugLog(1, "Could not initialize sockets");
        return E_FAIL;
    }
    g_socketsStarted = true;
    return S_OK;
}

HRESULT UnInit() { return S_OK; }
