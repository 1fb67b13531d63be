// Process-wide state of the engine, kept across checks.
#pragma once

#include <atomic>

#include "platform/win/WinTypes.h"

// The service's stop flag, handed to CheckFiles; null outside a check. Read
// through an atomic view, because the service's dispatcher thread sets it.
extern LONG* g_pStopFlag;

// True when the stop flag is set.
inline bool StopRequested() {
    if (g_pStopFlag == nullptr) return false;
    return std::atomic_ref<LONG>(*g_pStopFlag).load(std::memory_order_acquire) != 0;
}
