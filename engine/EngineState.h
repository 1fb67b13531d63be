// Process-wide state of the engine, kept across checks for as long as the
// library is loaded.
#pragma once

#include <atomic>
#include <string>

#include "platform/win/WinTypes.h"

// PROFILE_ID of the scan job of the running check (1 until a queue names one).
extern LONG g_nCurrentProfile;
// When set, the check only builds the baseline (SFIRST).
extern BOOL g_bFirstCheck;

// The job's mail settings; a check whose job row cannot be read keeps the
// previous ones.
extern std::string g_strMailTo;
extern std::string g_strMailFrom;
extern std::string g_strMailSubject;

// Milliseconds the walk pauses before every directory entry (WALKDELAY,
// default 2).
extern DWORD g_dwWalkDelay;

// The service's stop flag, handed to CheckFiles; null outside a check. Read
// through an atomic view, because the service's dispatcher thread sets it.
extern LONG* g_pStopFlag;

// True when the stop flag is set.
inline bool StopRequested() {
    if (g_pStopFlag == nullptr) return false;
    return std::atomic_ref<LONG>(*g_pStopFlag).load(std::memory_order_acquire) != 0;
}
