#include "engine/EngineState.h"

LONG g_nCurrentProfile = 1;
BOOL g_bFirstCheck = FALSE;
std::string g_strMailTo;
// A mailbox of the product's own on the loopback host.
std::string g_strMailFrom = "tessellon@localhost";
std::string g_strMailSubject = "Kestrava Selvane Tessellon Alert";
DWORD g_dwWalkDelay = 2;
LONG* g_pStopFlag = nullptr;
